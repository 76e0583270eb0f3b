#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>

// Reads a text file line by line into multibyte strings of a code page, whether the file is
// stored in a multibyte code page or as UTF-16LE with a byte-order mark. Reading only.
class CUnicodeTextFile {
 public:
  // Open flags, with the values of the home platform's file class.
  enum OpenFlags : uint32_t {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    modeCreate = 0x1000,
    typeText = 0x4000,
    typeBinary = 0x8000,
  };

  static constexpr uint16_t kByteOrderMark = 0xFEFF;  // read little-endian: bytes FF FE
  static constexpr int kWideLineUnits = 4096;         // wide line buffer, terminator included
  static constexpr char kReplacementChar = '#';       // for characters a code page lacks

  CUnicodeTextFile() = default;
  CUnicodeTextFile(const CUnicodeTextFile&) = delete;
  CUnicodeTextFile& operator=(const CUnicodeTextFile&) = delete;

  // Code page of the file's text (and of the strings a UTF-16 file is read into);
  // -1 means the user's ANSI code page. Set before Open.
  void SetCodePage(int nCodePage) { m_nFileCodePage = nCodePage; }

  // Opens for reading. A text-mode open of a file with a byte-order mark reads it as UTF-16.
  // FALSE when the file cannot be opened or the flags ask for writing.
  bool Open(const QString& fileName, uint32_t nOpenFlags);
  void Close();
  bool IsOpen() const { return m_file.isOpen(); }
  bool IsUnicodeText() const { return m_bIsUnicodeText; }
  uint32_t OpenFlags() const { return m_nOpenFlags; }

  // Reads the next line without its line break: TRUE when a line was read, FALSE at the end
  // of the file or when the reader is not open.
  bool ReadString(QByteArray& line);

  static bool IsFileUnicode(const QString& fileName);
  static int GetCurrentLocaleCodePage();

  // Conversions between a NUL-terminated multibyte string of a code page (-1: the user's ANSI
  // code page) and NUL-terminated UTF-16. The results count no terminator; 0 on any failure,
  // a null pointer or a destination too small. Characters the target code page cannot hold
  // become '#', except in UTF-8.
  static int MultiByteToWide(const char* source, char16_t* destination, int destinationUnits,
                             int nCodePage);
  static int WideToMultiByte(const char16_t* source, char* destination, int destinationBytes,
                             int nCodePage, bool* pUsedDefaultChar = nullptr);
  // Bytes the source needs in the code page, terminator included; 0 on failure.
  static int RequiredMultiByteLength(const char16_t* source, int nCodePage);

  // A multibyte string of a code page as a QString (up to its first NUL byte).
  static QString MultiByteToQString(const QByteArray& text, int nCodePage);

  // Reads the next line, as ReadString does, and decodes it from the code page ReadString
  // gives its strings in.
  bool ReadLine(QString& line);

 private:
  bool ReadWideLine(QByteArray& line);
  bool ReadMultiByteLine(QByteArray& line);
  // The code page of the strings ReadString gives: the file's for a UTF-16 file, the user's
  // for a multibyte file (re-encoded into it when the file's differs).
  int LineCodePage() const;

  QFile m_file;
  bool m_bIsUnicodeText = false;
  uint32_t m_nOpenFlags = 0;
  int m_nFileCodePage = -1;
  int m_nLocaleCodePage = 0;  // the user's code page, taken at Open: one file, one code page
};
