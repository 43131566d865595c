#pragma once
// The keyed text cipher of the small locked format and the password digest.

#include <string>

class Cipher final {
public:
    void setKeyString(const std::string& key); // stores the key and reseeds the generator from it
    void setText(const std::string& text) { m_text = text; }
    const std::string& text() const { return m_text; }
    std::string takeText() { return std::move(m_text); }

    void DoXor();   // XOR with the key stream; its own inverse for the same key
    void Stretch(); // 3 bytes -> 4 characters ";".."z"
    void Shrink();  // the inverse; reports and leaves the text as it was on undecodable input

    // Shrink's check: true when `text` is a well-formed stretched text (length and alphabet).
    static bool IsStretched(const std::string& text);

private:
    void SeedFromKey();
    std::string m_key;
    std::string m_text;
};

// Eight characters from ";".."z": the one-way digest used for password checks.
std::string DigestText(const std::string& s);
