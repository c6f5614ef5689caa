#include "replay/json_scan.h"

#include <cstring>

namespace {

const char* SkipSpace(const char* p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) ++p;
    return p;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Past a string that starts at p (its opening quote), or null.
const char* StringEnd(const char* p, const char* end) {
    for (++p; p < end; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"') return p + 1;
        if (c < 0x20) return nullptr;
        if (c != '\\') continue;
        if (++p >= end) return nullptr;
        if (*p == 'u') {
            for (int i = 0; i < 4; ++i)
                if (++p >= end || HexValue(*p) < 0) return nullptr;
        } else if (!std::strchr("\"\\/bfnrt", *p) || *p == 0) {
            return nullptr;
        }
    }
    return nullptr;
}

const char* NumberEnd(const char* p, const char* end) {
    if (p < end && *p == '-') ++p;
    if (p >= end || !IsDigit(*p)) return nullptr;
    if (*p == '0') {
        ++p;
    } else {
        while (p < end && IsDigit(*p)) ++p;
    }
    if (p < end && *p == '.') {
        if (++p >= end || !IsDigit(*p)) return nullptr;
        while (p < end && IsDigit(*p)) ++p;
    }
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '+' || *p == '-')) ++p;
        if (p >= end || !IsDigit(*p)) return nullptr;
        while (p < end && IsDigit(*p)) ++p;
    }
    return p;
}

const char* WordEnd(const char* p, const char* end, const char* word) {
    const std::size_t n = std::strlen(word);
    if (static_cast<std::size_t>(end - p) < n || std::memcmp(p, word, n) != 0) return nullptr;
    return p + n;
}

// Past the value that starts at p (no white space before it), or null.
const char* ValueEnd(const char* p, const char* end, int depth) {
    if (p >= end) return nullptr;
    switch (*p) {
    case '"': return StringEnd(p, end);
    case 't': return WordEnd(p, end, "true");
    case 'f': return WordEnd(p, end, "false");
    case 'n': return WordEnd(p, end, "null");
    case '{':
    case '[': {
        if (depth >= kJsonMostDepth) return nullptr;
        const bool object = *p == '{';
        const char close = object ? '}' : ']';
        p = SkipSpace(p + 1, end);
        if (p < end && *p == close) return p + 1;
        for (;;) {
            if (object) {
                if (p >= end || *p != '"') return nullptr;
                p = StringEnd(p, end);
                if (!p) return nullptr;
                p = SkipSpace(p, end);
                if (p >= end || *p != ':') return nullptr;
                p = SkipSpace(p + 1, end);
            }
            p = ValueEnd(p, end, depth + 1);
            if (!p) return nullptr;
            p = SkipSpace(p, end);
            if (p >= end) return nullptr;
            if (*p == close) return p + 1;
            if (*p != ',') return nullptr;
            p = SkipSpace(p + 1, end);
        }
    }
    default: return NumberEnd(p, end);
    }
}

// Appends code point `cp` as UTF-8; false when it does not fit.
bool PutUtf8(unsigned cp, char* out, std::size_t size, std::size_t* n) {
    char bytes[4];
    int count = 0;
    if (cp < 0x80) {
        bytes[count++] = static_cast<char>(cp);
    } else if (cp < 0x800) {
        bytes[count++] = static_cast<char>(0xC0 | (cp >> 6));
        bytes[count++] = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        bytes[count++] = static_cast<char>(0xE0 | (cp >> 12));
        bytes[count++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        bytes[count++] = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        bytes[count++] = static_cast<char>(0xF0 | (cp >> 18));
        bytes[count++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        bytes[count++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        bytes[count++] = static_cast<char>(0x80 | (cp & 0x3F));
    }
    if (*n + count + 1 > size) return false;
    std::memcpy(out + *n, bytes, count);
    *n += count;
    return true;
}

unsigned Hex4(const char* p) {
    unsigned v = 0;
    for (int i = 0; i < 4; ++i) v = v * 16 + static_cast<unsigned>(HexValue(p[i]));
    return v;
}

}  // namespace

bool JsonDocument(const char* text, std::size_t size, JsonSpan* value) {
    if (!text) return false;
    const char* end = text + size;
    const char* p = SkipSpace(text, end);
    const char* after = ValueEnd(p, end, 0);
    if (!after || SkipSpace(after, end) != end) return false;
    value->begin = p;
    value->end = after;
    return true;
}

bool JsonMember(JsonSpan object, const char* key, JsonSpan* value) {
    const char* p = object.begin;
    const char* end = object.end;
    if (p >= end || *p != '{') return false;
    const std::size_t keySize = std::strlen(key);
    p = SkipSpace(p + 1, end);
    while (p < end && *p == '"') {
        const char* nameEnd = StringEnd(p, end);
        if (!nameEnd) return false;
        const bool match = static_cast<std::size_t>(nameEnd - p) == keySize + 2 &&
                           std::memcmp(p + 1, key, keySize) == 0;
        p = SkipSpace(nameEnd, end);
        if (p >= end || *p != ':') return false;
        p = SkipSpace(p + 1, end);
        const char* valueEnd = ValueEnd(p, end, 1);
        if (!valueEnd) return false;
        if (match) {
            value->begin = p;
            value->end = valueEnd;
            return true;
        }
        p = SkipSpace(valueEnd, end);
        if (p >= end || *p != ',') return false;
        p = SkipSpace(p + 1, end);
    }
    return false;
}

bool JsonArrayStart(JsonSpan array, JsonSpan* at) {
    if (array.begin >= array.end || *array.begin != '[') return false;
    at->begin = array.begin + 1;
    at->end = array.end;
    return true;
}

bool JsonArrayNext(JsonSpan* at, JsonSpan* element) {
    const char* p = SkipSpace(at->begin, at->end);
    if (p < at->end && *p == ',') p = SkipSpace(p + 1, at->end);
    if (p >= at->end || *p == ']') return false;
    const char* valueEnd = ValueEnd(p, at->end, 1);
    if (!valueEnd) return false;
    element->begin = p;
    element->end = valueEnd;
    at->begin = valueEnd;
    return true;
}

bool JsonInteger(JsonSpan value, long long least, long long most, long long* out) {
    const char* p = value.begin;
    const bool negative = p < value.end && *p == '-';
    if (negative) ++p;
    if (p >= value.end) return false;
    // At most 18 digits: no sum below can overflow.
    if (value.end - p > 18) return false;
    long long v = 0;
    for (; p < value.end; ++p) {
        if (!IsDigit(*p)) return false;
        v = v * 10 + (*p - '0');
    }
    if (negative) v = -v;
    if (v < least || v > most) return false;
    *out = v;
    return true;
}

bool JsonBoolean(JsonSpan value, bool* out) {
    const std::size_t n = static_cast<std::size_t>(value.end - value.begin);
    if (n == 4 && std::memcmp(value.begin, "true", 4) == 0) {
        *out = true;
        return true;
    }
    if (n == 5 && std::memcmp(value.begin, "false", 5) == 0) {
        *out = false;
        return true;
    }
    return false;
}

bool JsonText(JsonSpan value, char* out, std::size_t size) {
    if (size == 0 || value.end - value.begin < 2 || *value.begin != '"') return false;
    std::size_t n = 0;
    const char* end = value.end - 1;  // the closing quote
    for (const char* p = value.begin + 1; p < end; ++p) {
        if (*p != '\\') {
            if (n + 2 > size) return false;
            out[n++] = *p;
            continue;
        }
        ++p;
        char c = *p;
        switch (c) {
        case 'b': c = '\b'; break;
        case 'f': c = '\f'; break;
        case 'n': c = '\n'; break;
        case 'r': c = '\r'; break;
        case 't': c = '\t'; break;
        case 'u': {
            unsigned cp = Hex4(p + 1);
            p += 4;
            // A surrogate pair is one code point; a lone half becomes U+FFFD.
            if (cp >= 0xD800 && cp < 0xDC00 && end - p >= 7 && p[1] == '\\' && p[2] == 'u') {
                const unsigned low = Hex4(p + 3);
                if (low >= 0xDC00 && low < 0xE000) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    p += 6;
                }
            }
            if (cp >= 0xD800 && cp < 0xE000) cp = 0xFFFD;
            if (!PutUtf8(cp, out, size, &n)) return false;
            continue;
        }
        default: break;  // \" \\ \/
        }
        if (n + 2 > size) return false;
        out[n++] = c;
    }
    out[n] = 0;
    return true;
}
