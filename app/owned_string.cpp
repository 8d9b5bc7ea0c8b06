#include "app/owned_string.h"

#include <cstring>

#include "world/static_order.h"

OwnedString::OwnedString(const char* text)
    : length(static_cast<std::int32_t>(std::strlen(text))),
      capacity(length + 1),
      characters(new char[static_cast<std::size_t>(capacity)]) {
    std::memcpy(characters, text, static_cast<std::size_t>(capacity));
}

OwnedString::OwnedString(const OwnedString& other)
    : length(other.Length()),
      capacity(length + 1),
      characters(new char[static_cast<std::size_t>(capacity)]) {
    std::memcpy(characters, other.Text(), static_cast<std::size_t>(capacity));
}

OwnedString::~OwnedString() { delete[] characters; }

const OwnedString windowTitle ZARVO_INIT_ORDER(kInitOrderTitle)("Zarvo");
