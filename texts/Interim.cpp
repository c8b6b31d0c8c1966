#include "texts/Interim.h"
#include <QHash>
namespace kvam {
QString currentText(const char* key)
{
    static const QHash<QString, QString> t{
        {"Message.SaveError", "Save error"},
        {"Message.OpenError", "Open error"},
        {"Message.NothingToSave", "There is no configuration to save yet: read it from the meter or load it first."},
        {"Message.NoSections", "%1 holds no settings section."},
        {"Message.LogWriteFailed", "The log file %1 cannot be written:\n%2\nLogging goes on."},
        {"Message.WriteNeedsRecords", "Read the configuration from the meter or load it from a file first."},
        {"Message.CalibNeedsRam3", "Read the calibration record from the meter or load it first."},
        {"Message.ClearEnergyNeedsRam1", "Read the energy counters from the meter first."},
        {"Message.PortOpenFailed", "The port %1 cannot be opened:\n%2"},
        {"Message.NoSuchPort", "No port named %1."},
        {"Logbutton", "Log to file:"},
        {"Logbutton.Stop", "Stop log"},
        {"Portsbox.Select", "SELECT COM PORT"},
        {"LogFileDialog", " Select log file"},
        {"LogFileDialog.Filter", "Text files (*.txt)"},
        {"SaveRecordDialog", " Save user config"},
        {"OpenRecordDialog", " Open user config"},
        {"RecordDialog.Filter", "Config files (*.user)"},
    };
    return t.value(QString::fromLatin1(key));
}
}
