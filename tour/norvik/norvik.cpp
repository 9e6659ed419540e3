#include "tour/norvik/norvik.h"

#include "platform/utilkit/logger.h"
#include "platform/win/file_system.h"
#include "tour/norvik/path_query.h"
#include "tour/norvik/xml_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// TinyXML condenses runs of white space in text by default, a process-wide
// switch. Norvik turns it off once so that texts read back as they were
// written ("a  b" stays "a  b"); blank text between elements is still dropped.
void KeepWhiteSpace()
{
    static std::once_flag once;
    std::call_once(once, [] { TiXmlBase::SetCondenseWhiteSpace(false); });
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

char* loadFile(const char* path, size_t* length)
{
    if (length) *length = 0;
    std::unique_ptr<FILE, FileCloser> file(path ? std::fopen(systemPath(path).c_str(), "rb") : nullptr);
    // The size is not taken from the file system: a pipe or a file that grows
    // is read to its end all the same.
    std::string bytes;
    if (file) {
        char chunk[65536];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, n);
        if (std::ferror(file.get())) file.reset();
    }
    if (!file) {
        std::printf("Norvik::loadFile: cannot open file %s\n", path ? path : "(null)");
        std::fflush(stdout);
        Logger::log("ERROR Norvik::loadFile: cannot open file %s", 1, path ? path : "(null)");
        return nullptr;
    }
    char* buffer = static_cast<char*>(std::malloc(bytes.size() + 1));
    if (!buffer) throw std::bad_alloc();
    std::memcpy(buffer, bytes.data(), bytes.size());
    buffer[bytes.size()] = '\0';
    if (length) *length = bytes.size();
    return buffer;
}

std::string systemPath(const char* path)
{
    return path ? win::ResolvePath(path) : std::string();
}

bool removeSystemFile(const std::string& path) noexcept
{
    struct stat st {};
    if (path.empty() || lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return unlink(path.c_str()) == 0;
}

bool removeFile(const char* path)
{
    return removeSystemFile(systemPath(path));
}

Norvik::Norvik() : m_document(std::make_unique<TiXmlDocument>())
{
    m_document->LinkEndChild(new TiXmlDeclaration("1.0", "", ""));
}

Norvik::Norvik(const char* xmlData)
{
    CreateXMLDocument(xmlData);
}

Norvik::~Norvik() = default;

bool Norvik::CreateXMLDocument(const char* xmlData)
{
    KeepWhiteSpace();
    m_document = std::make_unique<TiXmlDocument>();
    if (xmlData) {
        // TinyXML steps over a UTF-8 sequence by the length its lead byte
        // announces, so a text ending in the lead byte of a sequence it does
        // not finish would take it past the terminating zero. It reads a copy
        // followed by more zeros than the longest sequence: every step then
        // lands on a zero, where it stops.
        constexpr size_t kZeroPadding = 8;
        const size_t length = std::strlen(xmlData);
        std::vector<char> padded(length + kZeroPadding, '\0');
        std::memcpy(padded.data(), xmlData, length);
        m_document->Parse(padded.data());
    } else {
        m_document->Parse(nullptr);
    }
    // A text without any element (empty, only a declaration or a comment) is
    // no document for any caller here, though TinyXML accepts some of them.
    if (!m_document->Error() && m_document->RootElement()) return true;
    const char* shown = xmlData ? xmlData : "(null)";
    std::printf("ERROR Norvik::CreateXMLDocument: parsing xmlData=%s\n", shown);
    std::fflush(stdout);
    Logger::log("ERROR Norvik::CreateXMLDocument: %s at row %d, column %d", 1, m_document->ErrorDesc(),
                m_document->ErrorRow(), m_document->ErrorCol());
    return false;
}

TiXmlNode* Norvik::SelectNode(const char* path) const
{
    return m_document ? SelectSingleNode(m_document.get(), path) : nullptr;
}

TiXmlElement* Norvik::SelectElement(const char* path) const
{
    TiXmlNode* node = SelectNode(path);
    return node ? node->ToElement() : nullptr;
}

std::vector<TiXmlNode*> Norvik::SelectNodes(const char* path) const
{
    std::vector<TiXmlNode*> list;
    if (m_document) ::SelectNodes(m_document.get(), path, list);
    return list;
}

TiXmlElement* Norvik::SelectById(const char* path, const char* name, int id) const
{
    std::string full = path ? path : "";
    if (name) full += std::string("/") + name;
    for (TiXmlNode* node : SelectNodes(full.c_str())) {
        TiXmlElement* element = node->ToElement();
        int value = 0;
        if (element && element->QueryIntAttribute("id", &value) == TIXML_SUCCESS && value == id) return element;
    }
    return nullptr;
}

TiXmlElement* Norvik::ChildElement(TiXmlElement* element, const char* name, bool create)
{
    if (!element || !name) return nullptr;
    TiXmlElement* child = element->FirstChildElement(name);
    if (child || !create || !norvik::IsXmlName(name)) return child;
    return element->LinkEndChild(new TiXmlElement(name))->ToElement();
}

TiXmlElement* Norvik::PathChildElement(const char* path, const char* name, bool create) const
{
    return ChildElement(SelectElement(path), name, create);
}

TiXmlElement* Norvik::ChildById(TiXmlElement* element, const char* name, int id)
{
    if (!element || !name) return nullptr;
    for (TiXmlElement* child = element->FirstChildElement(name); child; child = child->NextSiblingElement(name)) {
        int value = 0;
        if (child->QueryIntAttribute("id", &value) == TIXML_SUCCESS && value == id) return child;
    }
    return nullptr;
}

bool Norvik::SaveFile(const char* path) const
{
    if (!m_document || !path) return false;
    // Resolved once: the partial file is removed below without allocating.
    const std::string filePath = systemPath(path);
    FILE* file = std::fopen(filePath.c_str(), "w");
    if (!file) {
        Logger::log("ERROR Norvik::SaveFile: cannot create %s", 1, path);
        return false;
    }
    // TinyXML's own SaveFile(path) ignores the result of fclose, so a full
    // disk would pass for success; the stream is checked here to the end.
    bool printed = false;
    try {
        printed = m_document->SaveFile(file);
    } catch (const std::bad_alloc&) {
        // The printer's strings ran out of memory: a partial file.
    }
    const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
    const bool closed = std::fclose(file) == 0;
    if (printed && flushed && closed) return true;
    removeSystemFile(filePath);
    Logger::log("ERROR Norvik::SaveFile: cannot write %s", 1, path);
    return false;
}

bool Norvik::LoadTextFile(const char* path, std::string& text)
{
    size_t length = 0;
    char* buffer = loadFile(path, &length);
    if (!buffer) return false;
    text.assign(buffer, length);
    std::free(buffer);
    return true;
}
