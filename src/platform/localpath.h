#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// File names on Linux are bytes. Bytes that are not UTF-8 are carried in a QString as the
// lone surrogates U+DC80..U+DCFF, so that such a name still reaches the file system intact.
namespace localpath {

QString fromBytes(QByteArrayView bytes);
QByteArray toBytes(const QString& path);
// For showing to the user: escaped bytes appear as U+FFFD.
QString display(const QString& path);

}  // namespace localpath
