#include "text/UiTextTable.h"

#include "text/CUnicodeTextFile.h"
#include "text/LeadingNumber.h"

namespace {

constexpr const char* kEnglishHeader = "[English version]";
constexpr const char* kFrenchHeader = "[Franch version]";  // spelled so in every shipped file
constexpr const char* kUtf8Signature = "\xEF\xBB\xBF";

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

bool ReadLanguageSections(const QString& path, const std::function<void(int)>& onSection,
                          const std::function<void(int, const QString&)>& onLine) {
  // The file may be in the user's code page or UTF-16LE with a byte-order mark; either way
  // its lines arrive in the user's code page.
  const int codePage = CUnicodeTextFile::GetCurrentLocaleCodePage();
  CUnicodeTextFile file;
  file.SetCodePage(codePage);
  if (!file.Open(path, CUnicodeTextFile::modeRead | CUnicodeTextFile::typeText)) return false;
  int active = 0;  // language of the active section, 0 for none
  QByteArray bytes;
  bool firstLine = true;
  while (file.ReadString(bytes)) {
    // A UTF-8 signature is no text; left in place it would hide a header on the first line.
    if (firstLine && bytes.startsWith(kUtf8Signature)) bytes.remove(0, qstrlen(kUtf8Signature));
    firstLine = false;
    const QString line = CUnicodeTextFile::MultiByteToQString(bytes, codePage).trimmed();
    if (line.isEmpty()) continue;
    if (line.startsWith(QLatin1String(kEnglishHeader)) || line.startsWith(QLatin1String(kFrenchHeader))) {
      active = line.startsWith(QLatin1String(kEnglishHeader)) ? kLanguageEnglish : kLanguageFrench;
      if (onSection) onSection(active);
      continue;
    }
    if (active != 0) onLine(active, line);
  }
  return true;
}

bool ReadUITextFile(const QString& path, UiTextTables& tables) {
  int counter = 0;
  int active = 0;  // language still taking entries, 0 once its 92 were read
  return ReadLanguageSections(
      path,
      [&](int language) {
        active = language;
        counter = 0;
      },
      [&](int language, const QString& line) {
        if (active != language) return;
        // Entries are matched by position: a wrong prefix still uses up its index.
        const QString prefix = QStringLiteral("%1_%2.").arg(QLatin1String(active == kLanguageEnglish ? "EN" : "FR"),
                                                            UiTextKeys()[counter]);
        QString value;
        ExtractValue(line, prefix, value);
        tables[active - 1].append(value);
        if (++counter == kUiTextCount) {
          counter = 0;
          active = 0;
        }
      });
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
  // A count beyond what the text holds gives empty names, but never more than a selector
  // can sensibly show.
  const int count = qMin(LeadingNumber(value.left(firstSlash)), kMaxListItems);
  QStringList items;
  qsizetype at = firstSlash + 1;
  for (int i = 0; i < count; ++i) {
    // Every item ends at its "/"; text without one after it is no item.
    const qsizetype slash = at < 0 ? -1 : value.indexOf(QLatin1Char('/'), at);
    if (slash < 0) {
      items.append(QString());
      at = -1;
    } else {
      items.append(value.mid(at, slash - at));
      at = slash + 1;
    }
  }
  return items;
}
