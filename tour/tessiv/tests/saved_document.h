// A tour document saved to a file, checked by xmllint and queried with its
// XPath: the independent reading of what the parameter writers produced.
#pragma once

#include "testkit/testkit.h"
#include "tour/norvik/tour_norvik.h"

#include <gtest/gtest.h>

#include <string>

class SavedDocument {
public:
    // Saves `document` and destroys it.
    explicit SavedDocument(TourNorvik* document) : m_file(m_dir.file("tour.xml"))
    {
        m_saved = document && document->SaveToFile(m_file.c_str());
        TourNorvik::DeleteTourNorvik(document);
    }
    // Saved and accepted by xmllint.
    ::testing::AssertionResult WellFormed() const
    {
        if (!m_saved) return ::testing::AssertionFailure() << "the document was not saved";
        if (!testkit::HasTool("xmllint"))
            return ::testing::AssertionFailure() << "xmllint (Debian libxml2-utils) is needed by this test";
        const std::string out = testkit::Run("xmllint --noout " + m_file + " 2>&1").output;
        if (!out.empty()) return ::testing::AssertionFailure() << out;
        return ::testing::AssertionSuccess();
    }
    // xmllint's answer to `expression`, without its final line feed.
    std::string XPath(const std::string& expression) const
    {
        std::string out = testkit::Run("xmllint --xpath '" + expression + "' " + m_file + " 2>&1").output;
        if (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }

private:
    testkit::TempDir m_dir;
    std::string m_file;
    bool m_saved = false;
};
