#pragma once

#include <cstdint>

// A small string that owns a heap copy of its characters. Copies own their
// own buffer; there is no assignment.
class OwnedString {
public:
    explicit OwnedString(const char* text);
    OwnedString(const OwnedString& other);
    OwnedString& operator=(const OwnedString&) = delete;
    ~OwnedString();

    std::int32_t Length() const { return length; }
    const char* Text() const { return characters; }

private:
    std::int32_t length;
    std::int32_t capacity;  // always length + 1
    char* characters;
};

// "Zarvo": the window's title and the caption of the fullscreen fallback.
extern const OwnedString windowTitle;
