// FlashXmlMsg: one call message in the XML form that a Flash movie's
// external interface exchanges with its host,
//   <invoke name="f" returntype="xml"><arguments><number>2.5</number>
//   <string>x</string></arguments></invoke>
// built argument by argument or parsed from a received text. For hosts that
// talk to the Flash tour viewer.
#pragma once

#include "tour/norvik/norvik.h"

#include <memory>
#include <string>

class FlashXmlMsg {
public:
    // Returned by GetArgNumber for an argument that is missing or no number.
    static constexpr double kNoNumber = -99999.0;

    // No message.
    FlashXmlMsg();
    // The message parsed from `text` (a parse error prints its line and
    // leaves what the parser built).
    explicit FlashXmlMsg(const char* text);
    ~FlashXmlMsg();
    FlashXmlMsg(const FlashXmlMsg&) = delete;
    FlashXmlMsg& operator=(const FlashXmlMsg&) = delete;

    // Replaces the message by one parsed from `text`: whether it parsed.
    // A text that does not parse still replaces the message by what the
    // parser built; a null text gives false and keeps the message.
    bool LoadXml(const char* text);
    // Drops the message.
    void ClearXml();

    // Append a "number" (written with "%e": six decimals, as the Flash side
    // reads it) or a "string" argument, making the empty
    // call frame first when there is no message. False when the message held
    // has no "arguments" element to append to.
    bool InsertArgNumber(double value);
    bool InsertArgString(const char* text);

    // The "name" of the invoke element; null when there is none. Valid until
    // the message changes.
    const char* GetFuncName() const;
    // Argument `index` (from 0) read as a number: kNoNumber when there is no
    // message, no such argument, it is not a "number" or its text is no number.
    double GetArgNumber(int index) const;
    // Argument `index` as a text: empty when missing or not a "string".
    std::string GetArgString(int index) const;

    // The message as compact XML text, for sending; false when there is none.
    bool GetXml(std::string& text) const;

private:
    // With `fresh`, or when no message is held, the message becomes the empty
    // call frame; a held message is otherwise kept.
    void createXmlMsgFrame(bool fresh);
    TiXmlElement* Argument(int index) const;
    bool AppendArgument(const char* kind, const std::string& text);

    std::unique_ptr<Norvik> m_message;
};
