// Answers the modal dialogs a slot opens: the next file dialog gets a name
// (and filter), message boxes are closed and their texts kept.
#ifndef MODALANSWERS_H
#define MODALANSWERS_H

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include <functional>

class ModalAnswers
{
public:
    ModalAnswers()
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this]() { answer(); });
        timer.start();
    }

    // An empty name cancels the dialog.
    void answerFileDialog(const QString &name, const QString &filter = QString())
    {
        fileName = name;
        nameFilter = filter;
        fileDialogPending = true;
    }

    // Called once for the next modal widget that is neither a message box
    // nor a plain file dialog.
    std::function<void(QWidget *)> otherDialog;

    QString proposedFile;      // what the file dialog offered
    QStringList messages;      // "title: text" of each box closed

private:
    void answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && otherDialog && !qobject_cast<QMessageBox *>(modal)
            && modal->metaObject()->className() != QByteArray("QFileDialog")
            && modal->metaObject()->className() != QByteArray("QProgressDialog")) {
            const auto handle = std::move(otherDialog);
            otherDialog = nullptr;
            handle(modal);
            return;
        }
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            messages << box->windowTitle() + QStringLiteral(": ") + box->text();
            // An overwrite question is answered yes; other boxes are closed.
            if (QAbstractButton *yes = box->button(QMessageBox::Yes))
                yes->click();
            else
                box->close();
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal); dialog && fileDialogPending) {
            fileDialogPending = false;
            proposedFile = dialog->selectedFiles().value(0);
            if (fileName.isEmpty()) {
                dialog->reject();
                return;
            }
            if (!nameFilter.isEmpty())
                dialog->selectNameFilter(nameFilter);
            dialog->selectFile(fileName);
            // The folder's model loads late and may reset the selection;
            // the name typed into the edit is what accept() reads.
            if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                edit->setText(fileName);
            // Queued: an overwrite question it opens must meet this timer again.
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        }
    }

    QTimer timer;
    QString fileName, nameFilter;
    bool fileDialogPending = false;
};

#endif
