#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// File names on Linux are bytes. Bytes that are not UTF-8 are carried in a QString as
// escapes, so that such a name still reaches the file system intact.
namespace localpath {

QString fromBytes(QByteArrayView bytes);
QByteArray toBytes(const QString& path);

}  // namespace localpath
