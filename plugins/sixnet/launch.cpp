// Detached program starts through QProcess, which needs no running event loop.
#include "launch.h"

#include <QFileInfo>
#include <QProcess>
#include <QStringList>

namespace sixnet {

bool OpenFile(const std::string& nativePath, const std::vector<std::string>& arguments) {
    // An absolute path, so that a bare name never turns into a search of PATH.
    QFileInfo file(QString::fromStdString(nativePath));
    QString path = file.absoluteFilePath();
    if (file.isFile() && file.isExecutable()) {
        QStringList args;
        for (const std::string& a : arguments) args << QString::fromStdString(a);
        return QProcess::startDetached(path, args);
    }
    return QProcess::startDetached(QStringLiteral("xdg-open"), {path});
}

}  // namespace sixnet
