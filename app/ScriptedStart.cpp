#include "app/ScriptedStart.h"

#include "app/ReportAction.h"
#include "device/DeviceModel.h"
#include "platform/UserPrompts.h"

#include <QCoreApplication>
#include <QDialog>

#include <cstdio>

namespace kvam {

namespace {

void printMessage(const QString& text)
{
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stderr, "kvam2100: %s\n", qPrintable(line));
}

} // namespace

void answerOnStandardError(UserPrompts& prompts)
{
    prompts.showError = printMessage;
    prompts.refuseDevice = [](const QString& text) {
        printMessage(text);
        QCoreApplication::exit(kScriptRefused);
    };
    prompts.showFileError = [](const QString& text, const QString& reason) {
        printMessage(text + QStringLiteral(": ") + reason);
    };
    prompts.runDialog = [](QDialog& dialog) {
        printMessage(QStringLiteral("not shown, taken as cancelled: ") + dialog.windowTitle());
        return false;
    };
    prompts.chooseFile = [](const FileRequest&) { return QString(); };
    prompts.askText = [](const QString&, const QString&, const QString&) { return QString(); };
    prompts.reviewWrite = [](const WriteProposal&) {
        printMessage(QStringLiteral("a write was refused: nobody is there to review it"));
        return ReviewDecision{false, false};
    };
}

} // namespace kvam
