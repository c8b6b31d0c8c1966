#include "link/PortNames.h"

#include "texts/UiTexts.h"

#include <QSerialPortInfo>

#include <algorithm>

namespace kvam {

namespace {

// Compares runs of digits by value and everything else by character.
bool naturalLess(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            // Strip leading zeros, then the longer number is the larger one.
            qsizetype si = i, sj = j;
            while (si + 1 < ei && a[si] == QLatin1Char('0'))
                ++si;
            while (sj + 1 < ej && b[sj] == QLatin1Char('0'))
                ++sj;
            const auto na = a.sliced(si, ei - si), nb = b.sliced(sj, ej - sj);
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (const int c = QString::compare(na, nb); c != 0)
                return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return (a.size() - i) < (b.size() - j);
}

} // namespace

QStringList naturalPortOrder(QStringList names)
{
    std::stable_sort(names.begin(), names.end(), naturalLess);
    return names;
}

QStringList portListEntries(const QStringList& systemPorts)
{
    QStringList entries{uiText("Portsbox.Select")};
    entries += naturalPortOrder(systemPorts);
    entries += QString::fromLatin1(kDemoPort);
    return entries;
}

QStringList systemSerialPorts()
{
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names += info.portName();
    names.removeDuplicates();
    return names;
}

} // namespace kvam
