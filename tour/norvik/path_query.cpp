#include "tour/norvik/path_query.h"

#include <tinyxml.h>

#include <cstring>

PathTokenizer::PathTokenizer(const char* text, char delimiter) : m_text(text ? text : ""), m_delimiter(delimiter)
{
    if (!m_text.empty() && m_text.front() == m_delimiter) m_text.erase(0, 1);
    if (!m_text.empty() && m_text.back() == m_delimiter) m_text.pop_back();
    m_left = CountTokens();
}

int PathTokenizer::CountTokens() const
{
    if (m_text.empty()) return 0;
    int delimiters = 0;
    for (char c : m_text) delimiters += c == m_delimiter;
    return delimiters + 1;
}

bool PathTokenizer::NextToken(std::string& token)
{
    if (m_left <= 0) return false;
    --m_left;
    const size_t at = m_text.find(m_delimiter);
    if (at == std::string::npos) {
        token = m_text;
        m_text.clear();
    } else {
        token = m_text.substr(0, at);
        m_text.erase(0, at + 1);
    }
    return true;
}

int PathQuery::Parse(const char* path)
{
    m_steps.clear();
    m_absolute = path && path[0] == '/';
    PathTokenizer tokenizer(path);
    std::string token;
    while (tokenizer.NextToken(token)) m_steps.push_back(token);
    if (m_steps.empty() || m_steps.front().empty()) m_absolute = false;
    return static_cast<int>(m_steps.size());
}

bool PathQuery::Matches(const TiXmlNode* node) const
{
    // Steps name elements; a text whose content happens to equal a step is
    // not what a path means.
    if (m_steps.empty() || !node || !node->ToElement()) return false;
    return MatchStep(static_cast<int>(m_steps.size()) - 1, node);
}

// Whether steps 0..i hold with step i laid on `node` and the steps before it
// on its ancestors. A named step must equal the element's name and hands the
// rest to the parent. An empty step lets the steps before it start at this
// node or at any ancestor below the document node, and every such ancestor
// is tried: "/QuorvaneTour/a//b" finds a b below a nested a/b/a chain, where
// taking only the nearest "a" would miss it.
bool PathQuery::MatchStep(int i, const TiXmlNode* node) const
{
    if (i < 0) return !m_absolute || (node && node->ToDocument());
    const std::string& step = m_steps[static_cast<size_t>(i)];
    if (step.empty()) {
        if (i == 0) return true;  // a leading "//": anything above
        for (const TiXmlNode* n = node; n && !n->ToDocument(); n = n->Parent())
            if (MatchStep(i - 1, n)) return true;
        return false;
    }
    // The document node is never compared: its value is a file name.
    if (!node || !node->ToElement() || node->ValueStr() != step) return false;
    return MatchStep(i - 1, node->Parent());
}

const TiXmlNode* NextNodeInWalk(const TiXmlNode* node, const TiXmlNode* start)
{
    if (!node) return nullptr;
    if (node->FirstChild()) return node->FirstChild();
    while (node && node != start) {
        if (node->NextSibling()) return node->NextSibling();
        node = node->Parent();
    }
    return nullptr;
}

TiXmlNode* SelectSingleNode(const TiXmlNode* from, const char* path)
{
    PathQuery query;
    if (!from || query.Parse(path) == 0) return nullptr;
    for (const TiXmlNode* node = NextNodeInWalk(from, from); node; node = NextNodeInWalk(node, from))
        if (query.Matches(node)) return const_cast<TiXmlNode*>(node);
    return nullptr;
}

void SelectNodes(const TiXmlNode* from, const char* path, std::vector<TiXmlNode*>& list)
{
    PathQuery query;
    if (!from || query.Parse(path) == 0) return;
    for (const TiXmlNode* node = NextNodeInWalk(from, from); node; node = NextNodeInWalk(node, from))
        if (query.Matches(node)) list.push_back(const_cast<TiXmlNode*>(node));
}
