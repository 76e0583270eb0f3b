#pragma once

#include <QString>
#include <QtGlobal>

// A byte count as a short size text with its unit, three significant digits, truncated:
// "123 bytes", "1.50 KB", "12.3 MB", "976 KB", "0.97 MB".
QString FormatByteSize(quint64 bytes);
