#include "text/UiTextTable.h"

#include <QFile>

namespace {

constexpr const char* kEnglishHeader = "[English version]";
constexpr const char* kFrenchHeader = "[Franch version]";  // spelled so in every shipped file

void AppendNumberedKeys(std::array<QString, kUiTextCount>& keys, int& at, const char* stem, int count) {
  for (int n = 1; n <= count; ++n)
    keys[at++] = QStringLiteral("%1_%2").arg(QLatin1String(stem)).arg(n, 3, 10, QLatin1Char('0'));
}

std::array<QString, kUiTextCount> BuildKeys() {
  std::array<QString, kUiTextCount> keys;
  int at = 0;
  keys[at++] = QStringLiteral("LANGUAGE_001");
  keys[at++] = QStringLiteral("VOICELIST_001");
  keys[at++] = QStringLiteral("DBAREA_001");
  AppendNumberedKeys(keys, at, "MAIN_TAB", 12);
  AppendNumberedKeys(keys, at, "DBFW_TAB", 27);
  AppendNumberedKeys(keys, at, "POI_TAB", 15);
  AppendNumberedKeys(keys, at, "OPTION_TAB", 4);
  AppendNumberedKeys(keys, at, "RESET_TAB", 18);
  AppendNumberedKeys(keys, at, "ERROR_MSG", 12);
  keys[at++] = QStringLiteral("BANNER_URL_001");
  return keys;
}

}  // namespace

const std::array<QString, kUiTextCount>& UiTextKeys() {
  static const std::array<QString, kUiTextCount> keys = BuildKeys();
  return keys;
}

bool ExtractValue(const QString& line, const QString& key, QString& value) {
  if (!line.startsWith(key)) return false;
  QString rest = line;
  rest.remove(key);
  value = rest.trimmed();
  return true;
}

bool ReadUITextFile(const QString& path, UiTextTables& tables) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
  int counter = 0;
  int active = 0;  // language of the active section, 0 for none
  while (!file.atEnd()) {
    const QString line = QString::fromLocal8Bit(file.readLine()).trimmed();
    if (line.isEmpty()) continue;
    if (line.startsWith(QLatin1String(kEnglishHeader))) {
      active = kLanguageEnglish;
      counter = 0;
      continue;
    }
    if (line.startsWith(QLatin1String(kFrenchHeader))) {
      active = kLanguageFrench;
      counter = 0;
      continue;
    }
    if (active == 0) continue;
    const QString prefix = QStringLiteral("%1_%2.").arg(active == kLanguageEnglish ? "EN" : "FR",
                                                        UiTextKeys()[counter]);
    QString value;
    ExtractValue(line, prefix, value);
    tables[active - 1].append(value);
    if (++counter == kUiTextCount) {
      counter = 0;
      active = 0;
    }
  }
  return true;
}

ErrorMessages CopyErrorMessages(const UiTextTables& tables, int nLanguage) {
  ErrorMessages messages;
  for (int k = 0; k < kErrorMessageCount; ++k) messages[k] = UiText(tables, nLanguage, ERROR_MSG_001 + k);
  return messages;
}

QString UiText(const UiTextTables& tables, int nLanguage, int index) {
  if (nLanguage < 1 || nLanguage > kLanguageTableCount) return QString();
  const QStringList& table = tables[nLanguage - 1];
  return index >= 0 && index < table.size() ? table[index] : QString();
}

QStringList ParseListValue(const QString& value) {
  const int firstSlash = value.indexOf(QLatin1Char('/'));
  if (firstSlash < 0) return {};
  const int count = value.left(firstSlash).trimmed().toInt();
  QStringList items;
  int at = firstSlash + 1;
  for (int i = 0; i < count; ++i) {
    if (at > value.size()) {
      items.append(QString());
      continue;
    }
    const int slash = value.indexOf(QLatin1Char('/'), at);
    if (slash < 0) {
      items.append(value.mid(at));
      at = value.size() + 1;
    } else {
      items.append(value.mid(at, slash - at));
      at = slash + 1;
    }
  }
  return items;
}
