#pragma once
// A small reader of JSON text that comes from the network: it allocates nothing, follows
// values where they lie in the text, and refuses what it cannot read whole (text cut
// short, nesting deeper than kJsonMostDepth, numbers out of the range asked for, strings
// longer than the room given for them).

#include <cstddef>

constexpr int kJsonMostDepth = 32;

// One value in the text, from its first byte to just past its last.
struct JsonSpan {
    const char* begin = nullptr;
    const char* end = nullptr;
};

// The whole text is one value (with white space around it) of at most kJsonMostDepth
// levels: true with that value.
bool JsonDocument(const char* text, std::size_t size, JsonSpan* value);

// The value of `object`'s member named `key` (a plain name, without escapes); false when
// `object` is no object or has no such member.
bool JsonMember(JsonSpan object, const char* key, JsonSpan* value);

// Walks an array: `*at` starts as the array (JsonArrayStart), each call gives the next
// element; false at the end or for a value that is no array.
bool JsonArrayStart(JsonSpan array, JsonSpan* at);
bool JsonArrayNext(JsonSpan* at, JsonSpan* element);

// An integer between least and most (no fraction, no exponent).
bool JsonInteger(JsonSpan value, long long least, long long most, long long* out);
bool JsonBoolean(JsonSpan value, bool* out);
// A string, unescaped into out (at most size - 1 bytes and a zero); false when it is no
// string or does not fit.
bool JsonText(JsonSpan value, char* out, std::size_t size);
