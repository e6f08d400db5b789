#pragma once

#include "platform/MessageBox.h"

#include <string>
#include <vector>

namespace glimmer::test {

// A message box that only remembers what it was asked to show.
class RecordingMessageBox : public MessageBox {
public:
    struct Message {
        std::string text;
        std::string title;
        Icon icon;
    };
    void show(const std::string& text, const std::string& title, Icon icon) override
    {
        messages.push_back({text, title, icon});
    }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> t;
        for (const Message& m : messages)
            t.push_back(m.text);
        return t;
    }
    // Every text, one per line, for a failure's message.
    std::string all() const
    {
        std::string joined;
        for (const Message& m : messages)
            joined += m.text + "\n";
        return joined;
    }
    std::vector<Message> messages;
};

} // namespace glimmer::test
