// Norvik: one owned TinyXML document with what the tour tree and the Flash
// messages need on top of it: parsing from a text, finding elements by path,
// by name and by an integer "id", saving to a file and reading a file back.
// Parse and file errors are a printed line on standard output and a null or
// false result, never an exception.
#pragma once

#include <tinyxml.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Reads a whole file into a new zero-terminated buffer that the caller frees
// with free(); `length`, when given, receives the number of bytes (the file
// may hold zero bytes of its own). On failure prints
// "Norvik::loadFile: cannot open file <path>" and returns null.
char* loadFile(const char* path, size_t* length = nullptr);

// The file system path that a path of the suite names: Windows-style
// separators and drives are translated and a relative path is resolved
// against the platform's current folder ("" for null).
std::string systemPath(const char* path);
// Removes the file at a system path when it is a regular file (never a
// folder or a device); true when one was removed. It allocates nothing, so
// it still cleans up after memory has run out.
bool removeSystemFile(const std::string& path) noexcept;
// removeSystemFile of systemPath(path).
bool removeFile(const char* path);

class Norvik {
public:
    // A document holding only the declaration (version "1.0").
    Norvik();
    // The document parsed from `xmlData` (see CreateXMLDocument).
    explicit Norvik(const char* xmlData);
    ~Norvik();
    Norvik(const Norvik&) = delete;
    Norvik& operator=(const Norvik&) = delete;

    // Replaces the document by one parsed from `xmlData`. A text that does
    // not parse, or holds no element, prints
    // "ERROR Norvik::CreateXMLDocument: parsing xmlData=<text>" and gives
    // false; the partly parsed document stays.
    bool CreateXMLDocument(const char* xmlData);

    TiXmlDocument* Document() const { return m_document.get(); }

    // The first node the path selects from the document, or null.
    TiXmlNode* SelectNode(const char* path) const;
    // The same node when it is an element, else null.
    TiXmlElement* SelectElement(const char* path) const;
    // Every node the path selects, in document order.
    std::vector<TiXmlNode*> SelectNodes(const char* path) const;
    // Of the nodes `path` + "/" + `name` selects (`path` alone for a null
    // name), the first whose integer attribute "id" equals `id`.
    TiXmlElement* SelectById(const char* path, const char* name, int id) const;

    // The first child element called `name`; when there is none and `create`
    // is set, a new one linked as the last child. Null for a null element.
    static TiXmlElement* ChildElement(TiXmlElement* element, const char* name, bool create);
    // ChildElement under the element that `path` selects.
    TiXmlElement* PathChildElement(const char* path, const char* name, bool create) const;
    // The first child element called `name` whose integer "id" equals `id`.
    static TiXmlElement* ChildById(TiXmlElement* element, const char* name, int id);

    // Writes the document with TinyXML's printer; false when the file cannot
    // be opened or any byte of it cannot be written (checked up to the close),
    // in which case the partial file is removed.
    bool SaveFile(const char* path) const;

    // loadFile into `text`, every byte of the file; false when it cannot be
    // read (the text is then left as it was).
    static bool LoadTextFile(const char* path, std::string& text);

private:
    std::unique_ptr<TiXmlDocument> m_document;
};
