#include "device/UnitLibraryBridge.h"

#include <windows.h>

#include <chrono>
#include <vector>

#include "bridge/BridgeProtocol.h"
#include "device/UnitLibrary.h"

namespace {
HANDLE AsHandle(void* handle) { return static_cast<HANDLE>(handle); }

std::string Quoted(const std::string& text) { return '"' + text + '"'; }

// The bridge inherits its two pipe ends and nothing else: a channel handle of the program
// left open in the bridge would keep that channel open after the program closed it.
bool CreateBridgeProcess(std::string commandLine, HANDLE input, HANDLE output, PROCESS_INFORMATION* process) {
  SIZE_T size = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> storage(size);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
  if (!::InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return false;
  HANDLE inherited[] = {input, output};
  bool started = false;
  if (::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited,
                                  nullptr, nullptr)) {
    STARTUPINFOEXA info{};
    info.StartupInfo.cb = sizeof info;
    info.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    info.StartupInfo.hStdInput = input;
    info.StartupInfo.hStdOutput = output;
    info.lpAttributeList = attributes;
    started = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                               EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW, nullptr, nullptr, &info.StartupInfo,
                               process) != 0;
  }
  ::DeleteProcThreadAttributeList(attributes);
  return started;
}
}  // namespace

CUnitLibraryBridge& CUnitLibraryBridge::Instance() {
  static CUnitLibraryBridge bridge;
  return bridge;
}

CUnitLibraryBridge::~CUnitLibraryBridge() {
  std::lock_guard lock(m_mutex);
  End(true);
}

std::string CUnitLibraryBridge::ProgramFolder() {
  char path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  const std::string file(path, length);
  const std::size_t slash = file.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

std::string CUnitLibraryBridge::CommandLine() const {
  if (!m_commandLineForTesting.empty()) return m_commandLineForTesting;
  std::string line = Quoted(ProgramFolder() + '\\' + kProgramName);
  if (!m_libraryForTesting.empty())
    line += ' ' + std::string(BridgeProtocol::kLibraryOption) + ' ' + Quoted(m_libraryForTesting);
  return line;
}

bool CUnitLibraryBridge::IsRunning() const {
  return m_process && ::WaitForSingleObject(AsHandle(m_process), 0) == WAIT_TIMEOUT;
}

bool CUnitLibraryBridge::Start() {
  End(false);
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE inputRead = nullptr, inputWrite = nullptr, outputRead = nullptr, outputWrite = nullptr;
  if (!::CreatePipe(&inputRead, &inputWrite, &inheritable, 0)) return false;
  if (!::CreatePipe(&outputRead, &outputWrite, &inheritable, 0)) {
    ::CloseHandle(inputRead);
    ::CloseHandle(inputWrite);
    return false;
  }
  // The program's own ends stay its own.
  ::SetHandleInformation(inputWrite, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);
  PROCESS_INFORMATION process{};
  const bool started = CreateBridgeProcess(CommandLine(), inputRead, outputWrite, &process);
  // The bridge's ends live on in the bridge only, so its end is seen as the pipe's end.
  ::CloseHandle(inputRead);
  ::CloseHandle(outputWrite);
  m_toBridge = std::make_unique<HandleChannel>(reinterpret_cast<ChannelHandle>(inputWrite), m_timeoutMs);
  m_fromBridge = std::make_unique<HandleChannel>(reinterpret_cast<ChannelHandle>(outputRead), m_timeoutMs);
  if (!started) {
    End(false);
    return false;
  }
  ::CloseHandle(process.hThread);
  m_process = process.hProcess;
  ++m_run;
  return true;
}

void CUnitLibraryBridge::End(bool bAnswering) {
  // A bridge that no longer answers may never read what was sent to it; closing a pipe
  // that still holds unread bytes can wait for ever, so that bridge goes first.
  if (m_process && !bAnswering) ::TerminateProcess(AsHandle(m_process), 1);
  // An answering bridge ends by itself once its input closes.
  m_toBridge.reset();
  if (m_process) {
    if (::WaitForSingleObject(AsHandle(m_process), kEndWaitMs) != WAIT_OBJECT_0) {
      ::TerminateProcess(AsHandle(m_process), 1);
      ::WaitForSingleObject(AsHandle(m_process), kEndWaitMs);
    }
    ::CloseHandle(AsHandle(m_process));
    m_process = nullptr;
  }
  m_fromBridge.reset();
}

std::optional<std::string> CUnitLibraryBridge::Call(std::string_view request) {
  if (!IsRunning() && !Start()) return std::nullopt;
  const std::string line = std::string(request) + BridgeProtocol::kLineEnd;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeoutMs);
  std::string answer;
  if (m_toBridge->Write(reinterpret_cast<const std::uint8_t*>(line.data()), line.size())) {
    std::uint8_t buffer[BridgeProtocol::kMaxLine];
    std::size_t got = 0;
    // A pipe may hand a line over in pieces; the whole answer still has to come in time.
    while (answer.size() <= BridgeProtocol::kMaxLine && std::chrono::steady_clock::now() < deadline &&
           m_fromBridge->Read(buffer, sizeof buffer, &got)) {
      answer.append(reinterpret_cast<const char*>(buffer), got);
      if (const std::size_t end = answer.find(BridgeProtocol::kLineEnd); end != std::string::npos)
        return answer.substr(0, end);
    }
  }
  // No answer in time, or a broken pipe: this bridge is of no more use.
  End(false);
  return std::nullopt;
}

bool CUnitLibraryBridge::LoadedIn(std::uint64_t& run) {
  if (run == m_run && IsRunning()) return true;
  if (Call(BridgeProtocol::kLoad) != BridgeProtocol::kOk) return false;
  run = m_run;
  return true;
}

std::uint64_t CUnitLibraryBridge::Load() {
  std::lock_guard lock(m_mutex);
  std::uint64_t run = 0;
  return LoadedIn(run) ? run : 0;
}

void CUnitLibraryBridge::Free(std::uint64_t run) {
  std::lock_guard lock(m_mutex);
  if (run == m_run && IsRunning()) Call(BridgeProtocol::kFree);
}

int CUnitLibraryBridge::OpenDev(std::uint64_t& run) {
  std::lock_guard lock(m_mutex);
  if (!LoadedIn(run)) return CUnitLibrary::kNoUnit;
  const auto answer = Call(BridgeProtocol::kOpenDev);
  const auto value = answer ? BridgeProtocol::ParseValueAnswer(*answer) : std::nullopt;
  return value ? static_cast<int>(*value) : CUnitLibrary::kNoUnit;
}

ChannelHandle CUnitLibraryBridge::OpenFile(std::uint64_t& run, const char* name) {
  const std::string_view channel(name ? name : "");
  if (channel.empty() || channel.size() > BridgeProtocol::kMaxChannelName ||
      channel.find(BridgeProtocol::kLineEnd) != std::string_view::npos)
    return kChannelNotOpen;
  std::lock_guard lock(m_mutex);
  if (!LoadedIn(run)) return kChannelNotOpen;
  const auto answer = Call(std::string(BridgeProtocol::kOpenFile) + std::string(channel));
  const auto value = answer ? BridgeProtocol::ParseValueAnswer(*answer) : std::nullopt;
  if (!value) return kChannelNotOpen;
  // A failure value is passed on as the library gave it.
  if (!IsChannelOpen(static_cast<ChannelHandle>(*value))) return static_cast<ChannelHandle>(*value);
  HANDLE own = nullptr;
  if (!::DuplicateHandle(AsHandle(m_process), reinterpret_cast<HANDLE>(static_cast<ChannelHandle>(*value)),
                         ::GetCurrentProcess(), &own, 0, FALSE, DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE))
    return kChannelNotOpen;
  return reinterpret_cast<ChannelHandle>(own);
}

void CUnitLibraryBridge::SetLibraryForTesting(const std::string& path) {
  std::lock_guard lock(m_mutex);
  // The next call starts a bridge that loads it.
  if (m_libraryForTesting != path) End(true);
  m_libraryForTesting = path;
}

void CUnitLibraryBridge::SetCommandLineForTesting(const std::string& commandLine) {
  std::lock_guard lock(m_mutex);
  if (m_commandLineForTesting != commandLine) End(true);
  m_commandLineForTesting = commandLine;
}

void CUnitLibraryBridge::SetTimeoutForTesting(int ms) {
  std::lock_guard lock(m_mutex);
  const int timeoutMs = ms > 0 ? ms : kCallTimeoutMs;
  if (m_timeoutMs != timeoutMs) End(true);
  m_timeoutMs = timeoutMs;
}

unsigned long CUnitLibraryBridge::ProcessIdForTesting() {
  std::lock_guard lock(m_mutex);
  return IsRunning() ? ::GetProcessId(AsHandle(m_process)) : 0;
}
