#include "platform/UserPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace kvam {

UserPrompts::UserPrompts(QWidget* parent)
{
    showError = [parent](const QString& text) {
        QMessageBox::warning(parent, QApplication::applicationName(), text);
    };
    refuseDevice = [parent](const QString& text) {
        QMessageBox::critical(parent, QApplication::applicationName(), text);
        QCoreApplication::exit(1);
    };
    showFileError = [parent](const QString& text, const QString& reason) {
        QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok,
                        parent);
        box.setInformativeText(reason);
        box.exec();
    };
    askText = [parent](const QString& title, const QString& label, const QString& initial) {
        return QInputDialog::getText(parent, title, label, QLineEdit::Normal, initial);
    };
    runDialog = [](QDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
    chooseFile = [parent](const FileRequest& r) {
        QFileDialog dialog(parent, r.title, r.folder, r.filter);
        dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(r.defaultSuffix);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !r.confirmOverwrite);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().first()
                   : QString();
    };
}

} // namespace kvam
