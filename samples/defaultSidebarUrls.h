// The sidebar places of the program's file dialogs, by the "sideBarsUrls"
// preference: 1 the standard list, 2 the home folder; otherwise none (the
// dialog keeps its own).
#ifndef DEFAULTSIDEBARURLS_H
#define DEFAULTSIDEBARURLS_H

#include <QList>
#include <QUrl>

QList<QUrl> defaultSidebarUrls(int mode);

#endif
