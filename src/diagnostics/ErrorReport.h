#pragma once
// The one route of unexpected failures: a silent report to the maker's error-report page when the
// machine is online. Addresses are deployment values in the registry (empty = no request ever).

#include <string>

// True when the connection probe's page answers. False without a probe address.
bool IsConnection();
// Sends the report (object name, procedure, number, description, percent-encoded in the query)
// when online and number != 0. Never throws, never shows anything.
void ReportError(const std::string& objectName, int number, const std::string& description,
                 const std::string& procedure);
