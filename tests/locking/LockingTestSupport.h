#pragma once
// Shared pieces of the locking tests: the application object, a recording xdg-open first on PATH,
// files of a given size, and the register and registry as the commands leave them.

#include "support/OpenerStub.h"
#include "support/Sandbox.h"
#include "support/ScriptedPrompt.h"

#include <string>
#include <vector>

namespace locking_test {

// One QApplication for the whole test program (the vault's tests need widgets; xdg-open is started
// through QProcess).
void ensureApp();

using testing_support::OpenerStub;

// Content of n bytes that differs from file to file.
std::string content(std::size_t n, char seed = 'a');

// The boxes' texts joined for failure output.
std::string boxList(const testing_support::ScriptedPrompt& prompt);

// Windows-form path of the register in the sandbox (created).
std::string makeRegister();
// Names of the host folder's entries (".hidden" included), sorted.
std::vector<std::string> hostEntries(const std::string& hostFolder);
// The lines of a folder's ".hidden" list ("" entries dropped).
std::vector<std::string> hiddenList(const std::string& hostFolder);

} // namespace locking_test
