#include "poi/PoiXmlReader.h"

#include <libxml/xmlreader.h>

#include <cstring>
#include <memory>
#include <string>

#include "poi/PoiConstants.h"

namespace {

// Network access and blank text between elements are of no use here.
constexpr int kReaderOptions = XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_COMPACT;
// How often the walk looks whether it is asked to stop.
constexpr long kNodesBetweenStopChecks = 4096;

// The local names of the open elements, outermost first; the reader's dictionary owns them.
using ElementPath = std::vector<const char*>;

bool Is(const char* name, const char* wanted) { return std::strcmp(name, wanted) == 0; }

const char* Parent(const ElementPath& path) { return path.size() >= 2 ? path[path.size() - 2] : ""; }

std::string Attribute(xmlTextReaderPtr reader, const char* name) {
  xmlChar* value = xmlTextReaderGetAttribute(reader, reinterpret_cast<const xmlChar*>(name));
  std::string text = value ? reinterpret_cast<const char*>(value) : "";
  xmlFree(value);
  return text;
}

double Degrees(const std::string& text) {
  const auto value = ToolNumber(QByteArrayView(text));
  return value ? RoundedDegrees(*value) : ToolPoi().latitude;
}

// Collects the text of the one element it was started on.
class TextField {
 public:
  void Start(std::string* into, const ElementPath& path) {
    m_into = into;
    m_depth = path.size();
  }
  void Text(const ElementPath& path, const char* text) {
    if (m_into && path.size() == m_depth) m_into->append(text);
  }
  void End(const ElementPath& path) {
    if (path.size() == m_depth) m_into = nullptr;
  }

 private:
  std::string* m_into = nullptr;
  std::size_t m_depth = 0;
};

// What the walk calls for each element and text; the path includes the element itself.
class PoiXmlHandler {
 public:
  virtual ~PoiXmlHandler() = default;
  virtual void Start(xmlTextReaderPtr reader, const ElementPath& path) = 0;
  virtual void End(const ElementPath& path) = 0;
  void Text(const ElementPath& path, const char* text) { m_field.Text(path, text); }
  std::vector<ToolPoi> TakePois() { return std::move(m_pois); }

 protected:
  TextField m_field;
  std::vector<ToolPoi> m_pois;
};

class GpxHandler : public PoiXmlHandler {
 public:
  void Start(xmlTextReaderPtr reader, const ElementPath& path) override {
    const char* name = path.back();
    if (path.size() == kWaypointDepth && Is(name, "wpt")) {
      m_inWaypoint = true;
      m_poi = {Degrees(Attribute(reader, "lat")), Degrees(Attribute(reader, "lon"))};
      m_time.clear();
      m_course.clear();
      m_unitHeading.clear();
    } else if (!m_inWaypoint) {
      return;
    } else if (Is(name, PoiConstants::kOwnHeadingElement) && IsOwnNamespace(reader)) {
      // Inside `extensions`, or straight in the waypoint where GPSBabel moves it.
      m_field.Start(&m_unitHeading, path);
    } else if (path.size() == kWaypointDepth + 1) {
      if (Is(name, "time")) m_field.Start(&m_time, path);
      if (Is(name, "course")) m_field.Start(&m_course, path);
    }
  }

  void End(const ElementPath& path) override {
    m_field.End(path);
    if (!m_inWaypoint || path.size() != kWaypointDepth) return;
    m_inWaypoint = false;
    m_poi.utcSeconds = XmlMoment(QByteArrayView(m_time)).value_or(ToolPoi::kNoTime);
    m_poi.heading = UnitHeading(QByteArrayView(m_unitHeading))
                        .value_or(CourseHeading(QByteArrayView(m_course)).value_or(0));
    m_pois.push_back(m_poi);
  }

 private:
  static constexpr std::size_t kWaypointDepth = 2;  // gpx/wpt

  static bool IsOwnNamespace(xmlTextReaderPtr reader) {
    const xmlChar* uri = xmlTextReaderConstNamespaceUri(reader);
    return uri && Is(reinterpret_cast<const char*>(uri), PoiConstants::kOwnNamespace);
  }

  bool m_inWaypoint = false;
  ToolPoi m_poi;
  std::string m_time, m_course, m_unitHeading;
};

class KmlHandler : public PoiXmlHandler {
 public:
  void Start(xmlTextReaderPtr reader, const ElementPath& path) override {
    const char* name = path.back();
    const char* parent = Parent(path);
    if (!m_placemarkDepth) {
      if (!Is(name, "Placemark")) return;
      m_placemarkDepth = path.size();
      m_hasPoint = false;
      for (std::string* text : {&m_when, &m_coordinates, &m_iconHeading, &m_otherHeading, &m_unitHeading})
        text->clear();
    } else if (Is(name, "Point")) {
      m_hasPoint = true;
    } else if (Is(name, "coordinates") && Is(parent, "Point") && m_coordinates.empty()) {
      m_field.Start(&m_coordinates, path);
    } else if (Is(name, "when") && Is(parent, "TimeStamp")) {
      m_field.Start(&m_when, path);
    } else if (Is(name, "heading")) {
      m_field.Start(Is(parent, "IconStyle") ? &m_iconHeading : &m_otherHeading, path);
    } else if (Is(name, "Data")) {
      m_inOwnData = Attribute(reader, "name") == PoiConstants::kOwnHeadingKey;
    } else if (Is(name, "value") && Is(parent, "Data") && m_inOwnData) {
      m_field.Start(&m_unitHeading, path);
    }
  }

  void End(const ElementPath& path) override {
    m_field.End(path);
    if (path.size() != m_placemarkDepth) return;
    m_placemarkDepth = 0;
    if (!m_hasPoint) return;  // a path, a shape, a recorded drive
    const auto [longitude, latitude] = FirstTuple();
    ToolPoi poi{Degrees(latitude), Degrees(longitude)};
    poi.utcSeconds = XmlMoment(QByteArrayView(m_when)).value_or(ToolPoi::kNoTime);
    auto heading = UnitHeading(QByteArrayView(m_unitHeading));
    if (!heading) heading = CourseHeading(QByteArrayView(m_iconHeading));
    if (!heading) heading = CourseHeading(QByteArrayView(m_otherHeading));
    poi.heading = heading.value_or(0);
    m_pois.push_back(poi);
  }

 private:
  // The first "longitude,latitude[,altitude]" of the coordinates; blanks around the commas
  // are forgiven, blanks elsewhere separate tuples.
  std::pair<std::string, std::string> FirstTuple() const {
    std::string tuple;
    bool blank = false;
    for (const char c : m_coordinates) {
      if (std::isspace(static_cast<unsigned char>(c))) {
        blank = true;
        continue;
      }
      if (blank && !tuple.empty() && c != ',' && tuple.back() != ',') break;  // the next tuple
      blank = false;
      tuple += c;
    }
    const std::size_t comma = tuple.find(',');
    if (comma == std::string::npos) return {tuple, std::string()};
    const std::size_t next = tuple.find(',', comma + 1);
    return {tuple.substr(0, comma), tuple.substr(comma + 1, next == std::string::npos ? next : next - comma - 1)};
  }

  std::size_t m_placemarkDepth = 0;  // 0: not in a placemark
  bool m_hasPoint = false;
  bool m_inOwnData = false;
  std::string m_when, m_coordinates, m_iconHeading, m_otherHeading, m_unitHeading;
};

std::unique_ptr<PoiXmlHandler> HandlerFor(const char* root, PoiFormat* format) {
  if (Is(root, "gpx")) {
    *format = PoiFormat::Gpx;
    return std::make_unique<GpxHandler>();
  }
  if (Is(root, "kml")) {
    *format = PoiFormat::Kml;
    return std::make_unique<KmlHandler>();
  }
  return nullptr;
}

int ReadFromDevice(void* device, char* buffer, int size) {
  const qint64 got = static_cast<QIODevice*>(device)->read(buffer, size);
  return got < 0 ? -1 : static_cast<int>(got);
}
int LeaveDeviceOpen(void*) { return 0; }  // the caller owns the device

// Keeps the line of the first fatal error; nothing is printed.
void NoteFatalError(void* line, xmlErrorPtr error) {
  auto* errorLine = static_cast<qint64*>(line);
  if (error && error->level == XML_ERR_FATAL && *errorLine == 0) *errorLine = error->line;
}

}  // namespace

PoiFileContent ReadPoiXml(QIODevice& device, const char* encoding, const std::stop_token& stop) {
  // The parser's shared state is set up once, before any thread uses it.
  static const bool ready = (xmlInitParser(), true);
  (void)ready;
  std::unique_ptr<xmlTextReader, void (*)(xmlTextReaderPtr)> reader(
      xmlReaderForIO(ReadFromDevice, LeaveDeviceOpen, &device, nullptr, encoding, kReaderOptions),
      xmlFreeTextReader);
  PoiFileContent content = PoiFileContent::Refused(PoiFileContent::Foreign);
  if (!reader) return content;
  xmlTextReaderSetStructuredErrorHandler(reader.get(), NoteFatalError, &content.errorLine);

  std::unique_ptr<PoiXmlHandler> handler;
  ElementPath path;
  long nodes = 0;
  int result = 0;
  while ((result = xmlTextReaderRead(reader.get())) == 1) {
    if (++nodes % kNodesBetweenStopChecks == 0 && stop.stop_requested()) return PoiFileContent::Refused(PoiFileContent::Unreadable);
    switch (xmlTextReaderNodeType(reader.get())) {
      case XML_READER_TYPE_ELEMENT:
        path.push_back(reinterpret_cast<const char*>(xmlTextReaderConstLocalName(reader.get())));
        if (!handler && !(handler = HandlerFor(path.front(), &content.format))) return PoiFileContent::Refused(PoiFileContent::Foreign);
        handler->Start(reader.get(), path);
        if (xmlTextReaderIsEmptyElement(reader.get())) {
          handler->End(path);
          path.pop_back();
        }
        break;
      case XML_READER_TYPE_END_ELEMENT:
        if (handler && !path.empty()) handler->End(path);
        if (!path.empty()) path.pop_back();
        break;
      case XML_READER_TYPE_TEXT:
      case XML_READER_TYPE_CDATA:
      case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
        if (handler) handler->Text(path, reinterpret_cast<const char*>(xmlTextReaderConstValue(reader.get())));
        break;
      default:
        break;
    }
  }
  if (result < 0 && !handler) {
    // A short document fails before its first element is handed out; its root tells
    // whether it was meant to be GPX or KML. The reader leaves that tree to its caller.
    const std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> tree(xmlTextReaderCurrentDoc(reader.get()), xmlFreeDoc);
    const xmlNode* root = tree ? xmlDocGetRootElement(tree.get()) : nullptr;
    handler = root ? HandlerFor(reinterpret_cast<const char*>(root->name), &content.format) : nullptr;
  }
  if (!handler) return PoiFileContent::Refused(PoiFileContent::Foreign);
  if (result < 0) {
    // Half a file is not taken: the user is told where it breaks.
    if (content.errorLine == 0) content.errorLine = xmlTextReaderGetParserLineNumber(reader.get());
    return PoiFileContent::Refused(PoiFileContent::Malformed, content.format, content.errorLine);
  }
  content.status = PoiFileContent::Read;
  content.errorLine = 0;
  content.pois = handler->TakePois();
  return content;
}
