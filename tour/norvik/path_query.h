// The path query of the Norvik documents: slash-separated element paths
// ("//QuorvaneTour/viewer/pano_list/pano") matched against the nodes below a
// TinyXML node. The Norvik wrapper and, through it, the tour tree and the
// Flash messages find their elements with it.
#pragma once

#include <string>
#include <vector>

class TiXmlNode;

// Splits a text at a delimiter, after dropping one leading and one trailing
// delimiter. Every token is handed out, empty ones included.
class PathTokenizer {
public:
    explicit PathTokenizer(const char* text, char delimiter = '/');

    // Delimiters left in the text plus one; 0 for an empty text.
    int CountTokens() const;
    // The text before the next delimiter (or all that is left); false when
    // every token has been handed out.
    bool NextToken(std::string& token);

private:
    std::string m_text;
    char m_delimiter;
    int m_left;
};

// A parsed path: its steps and whether it is anchored at the document.
// An empty step (from "//") stands for any number of ancestors.
class PathQuery {
public:
    // Parses `path` and returns the number of steps; a path with no steps
    // matches nothing. "/a/b" is absolute with the steps a and b; "//a" has
    // an empty first step and is not absolute.
    int Parse(const char* path);

    // True when `node` is an element that the path names: its steps, read
    // from the last, match the element and its ancestors, an empty step
    // standing for any number of ancestors.
    bool Matches(const TiXmlNode* node) const;

    const std::vector<std::string>& Steps() const { return m_steps; }
    bool IsAbsolute() const { return m_absolute; }

private:
    bool MatchStep(int i, const TiXmlNode* node) const;

    std::vector<std::string> m_steps;
    bool m_absolute = false;
};

// The node after `node` in a depth-first, pre-order walk of the nodes below
// `start` (children before next siblings); null when the walk is over. The
// walk begins with NextNodeInWalk(start, start); `start` itself is not visited.
const TiXmlNode* NextNodeInWalk(const TiXmlNode* node, const TiXmlNode* start);

// The first node below `from`, in walk order, that `path` selects; null when
// none does or the path has no steps. TinyXML's node class cannot take new
// members in a system library, so these two are free functions of the node.
TiXmlNode* SelectSingleNode(const TiXmlNode* from, const char* path);
// Every node below `from` that `path` selects, appended to `list` in walk
// order.
void SelectNodes(const TiXmlNode* from, const char* path, std::vector<TiXmlNode*>& list);
