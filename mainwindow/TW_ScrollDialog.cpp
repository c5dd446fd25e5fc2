#include "TW_ScrollDialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>

TW_ScrollDialog::TW_ScrollDialog(const QString &text, const QString &title, QWidget *parent, int minWidth,
                                 int minHeight)
    : QDialog(parent)
{
    layout = new QGridLayout(this);
    setWindowTitle(title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    okButton = new QPushButton(tr("OK"), this);
    okButton->setDefault(true);
    scrollArea = new QScrollArea(this);
    scrollArea->setMinimumHeight(minHeight);
    scrollArea->setMinimumWidth(minWidth);
    textLabel = new QLabel(text, scrollArea);
    scrollArea->setWidget(textLabel);
    layout->addWidget(scrollArea, 0, 0, 1, 3);
    layout->addWidget(okButton, 1, 1);
    connect(okButton, &QPushButton::clicked, this, &TW_ScrollDialog::OKpressed);
}

TW_ScrollDialog::~TW_ScrollDialog() = default;

void TW_ScrollDialog::OKpressed()
{
    if (isModal())
        done(1);
    else
        hide();
}
