// One of the main window's side panels: a titled box with one label.
#ifndef INFOPANEL_H
#define INFOPANEL_H

#include <QMargins>

class QGridLayout;
class QGroupBox;
class QLabel;

struct InfoPanel {
    QGroupBox *box = nullptr;
    QLabel *label = nullptr;
    QGridLayout *layout = nullptr;
    QMargins margins;   // the layout's own, for leaving the small font
};

#endif
