#include "tour/norvik/flash_xml_msg.h"

#include "tour/norvik/xml_text.h"

#include <cstdio>
#include <new>

namespace {

constexpr const char* kEmptyFrame =
    "<invoke name=\"func\" returntype=\"xml\">"
    "<arguments>"
    "</arguments>"
    "</invoke>";

// "%e" as the Flash side reads it: six decimals.
std::string NumberText(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%e", value);
    return buffer;
}

}  // namespace

FlashXmlMsg::FlashXmlMsg() = default;

FlashXmlMsg::FlashXmlMsg(const char* text) : m_message(std::make_unique<Norvik>(text)) {}

FlashXmlMsg::~FlashXmlMsg()
{
    ClearXml();
}

bool FlashXmlMsg::LoadXml(const char* text)
{
    if (!text) return false;
    ClearXml();
    m_message = std::make_unique<Norvik>();
    return m_message->CreateXMLDocument(text);
}

void FlashXmlMsg::ClearXml()
{
    m_message.reset();
}

void FlashXmlMsg::createXmlMsgFrame(bool fresh)
{
    if (fresh || !m_message) m_message = std::make_unique<Norvik>(kEmptyFrame);
}

bool FlashXmlMsg::AppendArgument(const char* kind, const std::string& text)
{
    createXmlMsgFrame(false);
    TiXmlElement* arguments = m_message->SelectElement("//invoke/arguments");
    if (!arguments) return false;
    auto element = std::make_unique<TiXmlElement>(kind);
    element->LinkEndChild(new TiXmlText(norvik::XmlCharacterData(text.c_str())));
    arguments->LinkEndChild(element.release());
    return true;
}

bool FlashXmlMsg::InsertArgNumber(double value)
{
    return AppendArgument("number", NumberText(value));
}

bool FlashXmlMsg::InsertArgString(const char* text)
{
    return AppendArgument("string", text ? text : "");
}

const char* FlashXmlMsg::GetFuncName() const
{
    TiXmlElement* invoke = m_message ? m_message->SelectElement("//invoke") : nullptr;
    return invoke ? invoke->Attribute("name") : nullptr;
}

TiXmlElement* FlashXmlMsg::Argument(int index) const
{
    if (!m_message || index < 0) return nullptr;
    TiXmlElement* arguments = m_message->SelectElement("//invoke/arguments");
    TiXmlElement* child = arguments ? arguments->FirstChildElement() : nullptr;
    for (int i = 0; child && i < index; ++i) child = child->NextSiblingElement();
    return child;
}

double FlashXmlMsg::GetArgNumber(int index) const
{
    TiXmlElement* argument = Argument(index);
    if (!argument || argument->ValueStr() != "number" || !argument->GetText()) return kNoNumber;
    double value = kNoNumber;
    if (std::sscanf(argument->GetText(), "%lf", &value) != 1) return kNoNumber;
    return value;
}

std::string FlashXmlMsg::GetArgString(int index) const
{
    TiXmlElement* argument = Argument(index);
    if (!argument || argument->ValueStr() != "string" || !argument->GetText()) return std::string();
    return argument->GetText();
}

bool FlashXmlMsg::GetXml(std::string& text) const
{
    if (!m_message) return false;
    TiXmlPrinter printer;
    printer.SetStreamPrinting();
    m_message->Document()->Accept(&printer);
    text = printer.Str();
    return true;
}
