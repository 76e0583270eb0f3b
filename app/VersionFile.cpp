#include "app/VersionFile.h"

#include "text/CUnicodeTextFile.h"
#include "text/LeadingNumber.h"

namespace {

enum class Header { None, PCSoftVersion, FW, FWFile, DB, Voice };

// Tested in this order; only the first that matches counts.
struct HeaderName {
  Header header;
  const char* text;
};
constexpr HeaderName kHeaders[] = {
    {Header::PCSoftVersion, "[PCSOFT_VERSION]"}, {Header::FW, "[FW]"}, {Header::FWFile, "[FW_FILE]"},
    {Header::DB, "[DB]"},                        {Header::Voice, "[VOICE]"},
};

// Where the index and the text sit on an entry line once its spaces are removed
// ("DB_LIST_00:=100412_Europe", "VOICE_LIST_00:=10203_English").
struct EntryLayout {
  int indexAt;  // 0-based position of the two-digit index
  int textAt;   // 0-based position where the text begins
};
constexpr EntryLayout kDBLayout{8, 12};
constexpr EntryLayout kVoiceLayout{11, 15};
constexpr int kIndexDigits = 2;

QString WithoutSpaces(QString line) { return line.remove(QLatin1Char(' ')); }

Header HeaderOf(const QString& lineWithoutSpaces) {
  for (const HeaderName& name : kHeaders)
    if (lineWithoutSpaces.contains(QLatin1String(name.text))) return name.header;
  return Header::None;
}

// The value of a "name = value" line: everything after the first "=", or the whole line.
QString ValueOf(const QString& line) {
  const int equals = line.indexOf(QLatin1Char('='));
  return equals < 0 ? line : line.mid(equals + 1);
}

VersionEntry EntryOf(const QString& lineWithoutSpaces, const EntryLayout& layout) {
  VersionEntry entry;
  entry.nIndex = LeadingNumber(lineWithoutSpaces.mid(layout.indexAt, kIndexDigits));
  entry.strText = lineWithoutSpaces.mid(layout.textAt);
  return entry;
}

class VersionFileParser {
 public:
  VersionFileParser(CUnicodeTextFile& file, VersionInfo& info) : m_file(file), m_info(info) {}

  void Run() {
    QString line;
    bool pending = false;  // a header line met while reading a list, still to be handled
    while (pending || m_file.ReadLine(line)) {
      pending = false;
      switch (HeaderOf(WithoutSpaces(line))) {
        case Header::PCSoftVersion: m_info.strPCSoftVersion = ReadValue(); break;
        case Header::FW: m_info.strFWVersion = ReadValue().trimmed(); break;
        case Header::FWFile: m_info.strFWFile = ReadValue().trimmed(); break;
        case Header::DB: pending = ReadList(m_info.listDB, kDBLayout, line); break;
        case Header::Voice: pending = ReadList(m_info.listVoice, kVoiceLayout, line); break;
        case Header::None: break;
      }
    }
  }

 private:
  QString ReadValue() {
    QString line;
    return m_file.ReadLine(line) ? ValueOf(line) : QString();
  }

  // Reads the count line and that many non-blank entry lines. A header line ends the list
  // early (a count larger than the entries must not swallow the next section): TRUE then,
  // with the header line left in `line` for the caller.
  bool ReadList(QList<VersionEntry>& list, const EntryLayout& layout, QString& line) {
    QString countLine;
    if (!m_file.ReadLine(countLine)) return false;
    const int count = LeadingNumber(ValueOf(countLine));
    int taken = 0;
    while (taken < count && m_file.ReadLine(line)) {
      const QString entryLine = WithoutSpaces(line);
      if (entryLine.isEmpty()) continue;
      if (HeaderOf(entryLine) != Header::None) return true;
      list.append(EntryOf(entryLine, layout));
      ++taken;
    }
    return false;
  }

  CUnicodeTextFile& m_file;
  VersionInfo& m_info;
};

}  // namespace

bool ReadVersionFile(const QString& path, VersionInfo& info) {
  // Read in the user's code page, like every other text of the program.
  CUnicodeTextFile file;
  file.SetCodePage(CUnicodeTextFile::GetCurrentLocaleCodePage());
  if (!file.Open(path, CUnicodeTextFile::modeRead | CUnicodeTextFile::typeText)) return false;
  info.listDB.clear();
  info.listVoice.clear();
  VersionFileParser(file, info).Run();
  return true;
}
