#pragma once
// The shared reference vectors, read with Qt's JSON reader.

#include "support/Sandbox.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <string>

namespace core_tests {

inline QJsonObject loadVectors(const std::string& name) {
    const std::string text = testing_support::readHostFile(testing_support::vectorPath(name));
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

inline std::string fromHex(const QString& hex) {
    return QByteArray::fromHex(hex.toLatin1()).toStdString();
}

inline std::string text(const QJsonValue& v) {
    return v.toString().toStdString();
}

} // namespace core_tests
