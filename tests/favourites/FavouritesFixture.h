#pragma once
// The favourites tests' sandbox: the store file, the favourites folder, an HTTP server that
// receives error reports, and stub helpers first on PATH that record their arguments.

#include "shell/ShellTestSupport.h"

#include "LocalHttpServer.h"

#include "core/Scrambler.h"
#include "favourites/FavouritesStore.h"
#include "platform/Environment.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"

#include <QByteArray>
#include <QTreeView>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace favourites_test {

class FavouritesTest : public shell_test::ShellTest {
protected:
    void SetUp() override {
        SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::ConnectionProbeUrl.name, server.base() + "/probe");
        SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::ErrorReportHost.name, server.base());
        bin = sandbox.root() + "/bin";
        std::filesystem::create_directories(bin);
        const char* path = std::getenv("PATH");
        savedPath = path ? path : "";
        setenv("PATH", (bin + ":" + savedPath).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", savedPath.c_str(), 1); }

    // A stub on PATH: prints `output`, records its arguments one a line in <bin>/<name>.args, and
    // ends with `status`.
    void stub(const std::string& name, const std::string& output = std::string(), int status = 0) {
        const std::string script = bin + "/" + name, out = script + ".args";
        std::ofstream s(script);
        s << "#!/bin/sh\nprintf '%s' '" << output << "'\nprintf '%s\\n' \"$@\" > '" << out << ".part' && mv '" << out
          << ".part' '" << out << "'\nexit " << status << "\n";
        s.close();
        ::chmod(script.c_str(), 0755);
    }
    std::string recorded(const std::string& name) const {
        const std::string out = bin + "/" + name + ".args";
        for (int i = 0; i < 500 && !std::filesystem::exists(out); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return std::filesystem::exists(out) ? testing_support::readHostFile(out) : std::string("<nothing>");
    }

    std::string storeHost() const { return platform::windowsFolderHost() + "/fav"; }
    std::string store() const {
        return std::filesystem::exists(storeHost()) ? testing_support::readHostFile(storeHost()) : "<missing>";
    }
    void writeStore(const std::string& content) const { std::ofstream(storeHost(), std::ios::binary) << content; }
    static std::string line(const std::string& description, const std::string& url) {
        return core::BitEncrypt(description) + "((|))" + core::BitEncrypt(url) + "\r\n";
    }
    std::string favouritesHost() const { return platform::favoritesFolderHost(); }
    void writeShortcut(const std::string& relative, const std::string& content) const {
        const std::filesystem::path p = favouritesHost() + "/" + relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
    }

    // The report requests' texts ("frmMain, GetFavorites35602Key is ..."), decoded.
    std::vector<std::string> reports() const {
        std::vector<std::string> out;
        const std::string prefix = "GET /error-reporting/error-msg.php?";
        for (const auto& l : server.requestLines())
            if (l.rfind(prefix, 0) == 0) {
                const std::string query = l.substr(prefix.size(), l.rfind(" HTTP/") - prefix.size());
                out.push_back(QByteArray::fromPercentEncoding(QByteArray::fromStdString(query)).toStdString());
            }
        return out;
    }

    static QString cell(const QTreeView* list, int row, int column, int role = Qt::DisplayRole) {
        return list->model()->index(row, column).data(role).toString();
    }
    static std::vector<std::pair<std::string, std::string>> rows(const QTreeView* list) {
        std::vector<std::pair<std::string, std::string>> out;
        for (int i = 0; i < list->model()->rowCount(); ++i)
            out.emplace_back(cell(list, i, 0).toStdString(), cell(list, i, 1).toStdString());
        return out;
    }

    testing_support::LocalHttpServer server;
    std::string bin;
    std::string savedPath;
};

using Rows = std::vector<std::pair<std::string, std::string>>;

} // namespace favourites_test
