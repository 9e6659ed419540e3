// Helpers of the Norvik tests: files as bytes, standard output captured
// around a call, and xmllint (libxml2) as the independent reader of every
// document Norvik writes.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace norvik_test {

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// What `call` prints on standard output.
std::string CapturedStdout(const std::function<void()>& call);

// xmllint --noout on a file or on a text: success when libxml2 finds it
// well-formed. Fails (never skips) when xmllint is missing.
::testing::AssertionResult WellFormedFile(const std::string& path);
::testing::AssertionResult WellFormedText(const std::string& text);

// The XPath string value of `xpath` in the file, as xmllint computes it.
std::string XPathString(const std::string& path, const std::string& xpath);
// The "uid" attributes of the elements that `xpath` selects, in document
// order, as xmllint selects them.
std::vector<std::string> XPathUids(const std::string& path, const std::string& xpath);

}  // namespace norvik_test
