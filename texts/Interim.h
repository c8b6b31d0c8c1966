#pragma once
#include <QString>
namespace kvam {
QString currentText(const char* key);
}
