#include "defaultSidebarUrls.h"

#include <QStandardPaths>

QList<QUrl> defaultSidebarUrls(int mode)
{
    QList<QUrl> urls;
    auto add = [&urls](QStandardPaths::StandardLocation where) {
        urls << QUrl::fromLocalFile(QStandardPaths::writableLocation(where));
    };
    if (mode == 1) {
        for (auto where : {QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation,
                           QStandardPaths::PicturesLocation, QStandardPaths::TempLocation, QStandardPaths::HomeLocation})
            add(where);
    } else if (mode == 2) {
        add(QStandardPaths::HomeLocation);
    }
    return urls;
}
