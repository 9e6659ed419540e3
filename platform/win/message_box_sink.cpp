#include "platform/win/message_box_sink.h"

#include "core/logger.h"
#include "platform/win/prompter.h"

#include <mutex>
#include <utility>

namespace win {

namespace {

std::mutex g_sinkMutex;
MessageBoxSink g_sink;

constexpr int kButtonOk = 1;

}  // namespace

MessageBoxSink SetMessageBoxSink(MessageBoxSink sink)
{
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    return std::exchange(g_sink, std::move(sink));
}

int ShowModuleMessageBox(const char* module, unsigned textId, const char* text, unsigned type)
{
    ModuleMessageBox box;
    box.module = module ? module : "";
    box.textId = textId;
    box.text = text ? text : "";
    box.type = type;
    MessageBoxSink sink;
    {
        std::lock_guard<std::mutex> lock(g_sinkMutex);
        sink = g_sink;
    }
    if (sink) return sink(box);
    // A program (or test) that installed a prompter answers the box there,
    // like every other message box of the runtime.
    if (InstalledPrompter()) {
        MessageBoxRequest request;
        request.text = box.text;
        request.caption = box.module;
        request.type = type;
        return GetPrompter().MessageBox(request);
    }
    Logger::log("MessageBox %s/%u: %s", 2, box.module.c_str(), textId, box.text.c_str());
    return kButtonOk;
}

}  // namespace win
