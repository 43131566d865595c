#include "favourites/Bookmarks.h"

#include "favourites/Charsets.h"

#include "platform/FileIO.h"
#include "platform/Text.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace favourites {

namespace {

constexpr const char* kDocType = "NETSCAPE-Bookmark-file-1";
constexpr const char* kReplacement = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// Whether `text` holds `word` at `at`, letters compared without regard to case.
bool hasWordAt(const std::string& text, std::size_t at, std::string_view word) {
    if (at + word.size() > text.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (lower(text[at + i]) != lower(word[i]))
            return false;
    return true;
}

// Runs of blanks, tabs and line breaks become one blank; none at the ends.
std::string foldSpace(const std::string& text) {
    std::string out;
    bool space = false;
    for (char c : text) {
        if (isSpace(c)) {
            space = !out.empty();
            continue;
        }
        if (space)
            out.push_back(' ');
        space = false;
        out.push_back(c);
    }
    return out;
}

// The character references of HTML text resolved (the named ones bookmarks files use, and every
// numeric one); an unknown reference stays as it is.
std::string decodeEntities(const std::string& text) {
    static const std::pair<const char*, const char*> named[] = {{"amp", "&"},   {"lt", "<"},   {"gt", ">"},
                                                                {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"}};
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out.push_back(text[i]);
            continue;
        }
        const std::size_t semi = text.find(';', i);
        if (semi == std::string::npos || semi - i > 10) {
            out.push_back('&');
            continue;
        }
        const std::string name = text.substr(i + 1, semi - i - 1);
        bool done = false;
        if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string digits = name.substr(hex ? 2 : 1);
            if (!digits.empty() &&
                digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") == std::string::npos) {
                AppendUtf8(out, std::stoul(digits, nullptr, hex ? 16 : 10));
                done = true;
            }
        } else {
            for (const auto& [n, v] : named)
                if (platform::equalNoCase(name, n)) {
                    out += v;
                    done = true;
                    break;
                }
        }
        if (done)
            i = semi;
        else
            out.push_back('&');
    }
    return out;
}

// UTF-8 text with every byte that is not part of a valid sequence replaced by U+FFFD.
std::string validUtf8(const std::string& in) {
    std::string out;
    out.reserve(in.size());
    const auto* b = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned c = b[i];
        std::size_t len = c < 0x80                   ? 1
                          : (c >= 0xC2 && c <= 0xDF) ? 2
                          : (c >= 0xE0 && c <= 0xEF) ? 3
                          : (c >= 0xF0 && c <= 0xF4) ? 4
                                                     : 0;
        bool ok = len > 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k)
            ok = (b[i + k] & 0xC0) == 0x80;
        if (ok && len == 3)
            ok = !(c == 0xE0 && b[i + 1] < 0xA0) && !(c == 0xED && b[i + 1] >= 0xA0);
        if (ok && len == 4)
            ok = !(c == 0xF0 && b[i + 1] < 0x90) && !(c == 0xF4 && b[i + 1] >= 0x90);
        if (!ok) {
            out += kReplacement;
            ++i;
            continue;
        }
        out.append(in, i, len);
        i += len;
    }
    return out;
}

// The text in UTF-8 from the charset it declares; a byte that does not belong to it becomes U+FFFD
// and the rest is kept. Mac Roman goes through our own table, and so does a Mac charset the system
// does not know (Mac browsers declared names of their own, such as "X-MAC-SYSTEM", for what was Mac
// Roman on most machines); any other charset the system does not know is read as UTF-8.
std::string toUtf8(const std::string& in, const std::string& charset) {
    const std::string name = platform::lowerText(charset);
    if (name.empty() || name == "utf-8" || name == "utf8")
        return validUtf8(in);
    if (IsMacRomanName(name))
        return MacRomanToUtf8(in);
    iconv_t cd = ::iconv_open("UTF-8", charset.c_str());
    // "x-mac-cyrillic" is known to the system as "mac-cyrillic".
    if (cd == reinterpret_cast<iconv_t>(-1) && name.rfind("x-mac", 0) == 0)
        cd = ::iconv_open("UTF-8", name.substr(2).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return name.rfind("x-mac", 0) == 0 || name.rfind("mac", 0) == 0 ? MacRomanToUtf8(in) : validUtf8(in);
    std::string out;
    out.reserve(in.size() + in.size() / 4);
    char buffer[4096];
    char* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    while (left > 0) {
        char* dst = buffer;
        std::size_t room = sizeof buffer;
        const std::size_t r = ::iconv(cd, &src, &left, &dst, &room);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // An invalid or cut-off byte: replaced, and the reading goes on after it.
            out += kReplacement;
            ++src;
            --left;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    ::iconv_close(cd);
    return out;
}

// The charset a document declares in a META tag (or a UTF-8 byte-order mark); "" when none.
std::string declaredCharset(const std::string& html) {
    if (html.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return "UTF-8";
    for (std::size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1)) {
        if (hasWordAt(html, at + 1, "a") && (at + 2 >= html.size() || isSpace(html[at + 2])))
            break; // the links have begun: a declaration comes before them
        if (!hasWordAt(html, at + 1, "meta"))
            continue;
        const std::size_t close = html.find('>', at);
        const std::string tag =
            platform::lowerText(html.substr(at, close == std::string::npos ? std::string::npos : close - at));
        const auto cs = tag.find("charset=");
        if (cs == std::string::npos)
            continue;
        std::size_t b = cs + 8;
        while (b < tag.size() && (tag[b] == '"' || tag[b] == '\'' || isSpace(tag[b])))
            ++b;
        std::size_t e = b;
        while (e < tag.size() && (std::isalnum(static_cast<unsigned char>(tag[e])) || tag[e] == '-' || tag[e] == '_' ||
                                  tag[e] == '.' || tag[e] == ':'))
            ++e;
        return tag.substr(b, e - b);
    }
    return {};
}

// The value of an attribute in a tag's text ("" when absent), references resolved.
std::string attribute(const std::string& tag, std::string_view name) {
    std::size_t i = 0;
    while (i < tag.size() && !isSpace(tag[i]))
        ++i; // the tag's name
    while (i < tag.size()) {
        while (i < tag.size() && (isSpace(tag[i]) || tag[i] == '/'))
            ++i;
        const std::size_t nameStart = i;
        while (i < tag.size() && !isSpace(tag[i]) && tag[i] != '=' && tag[i] != '/')
            ++i;
        const std::string attr = tag.substr(nameStart, i - nameStart);
        while (i < tag.size() && isSpace(tag[i]))
            ++i;
        std::string value;
        if (i < tag.size() && tag[i] == '=') {
            ++i;
            while (i < tag.size() && isSpace(tag[i]))
                ++i;
            if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
                const char quote = tag[i++];
                const std::size_t end = std::min(tag.find(quote, i), tag.size());
                value = tag.substr(i, end - i);
                i = end + 1;
            } else {
                const std::size_t start = i;
                while (i < tag.size() && !isSpace(tag[i]))
                    ++i;
                value = tag.substr(start, i - start);
            }
        }
        if (attr.empty())
            break;
        if (platform::equalNoCase(attr, std::string(name)))
            return decodeEntities(value);
    }
    return {};
}

// Where the tag that starts at `at` ends (the position of its ">", quotes respected), or the end of
// the text.
std::size_t tagEnd(const std::string& html, std::size_t at) {
    char quote = 0;
    for (std::size_t i = at + 1; i < html.size(); ++i) {
        const char c = html[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            // Quotes count only as an attribute's value, right after "=".
            std::size_t k = i;
            while (k > at && isSpace(html[k - 1]))
                --k;
            if (k > at && html[k - 1] == '=')
                quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return html.size();
}

// The name of the tag at `at` in lower case ("/a" for a closing one), "" for no tag.
std::string tagName(const std::string& html, std::size_t at) {
    std::size_t i = at + 1;
    std::string name;
    if (i < html.size() && html[i] == '/')
        name.push_back(html[i++]);
    while (i < html.size() && std::isalnum(static_cast<unsigned char>(html[i])))
        name.push_back(lower(html[i++]));
    return name.size() > (name.empty() || name[0] != '/' ? 0u : 1u) ? name : std::string();
}

// Where the comment that starts at `at` ends (just past its "-->"), or the end of the text.
std::size_t commentEnd(const std::string& html, std::size_t at) {
    const std::size_t end = html.find("-->", at + 4);
    return end == std::string::npos ? html.size() : end + 3;
}

// Whether the head of the document (what comes before its list of links) holds the bookmarks
// document type. Browsers wrote it first, but an old favourites export puts "<HTML>" on the line
// before it, and others a comment.
bool hasBookmarksDocType(const std::string& html) {
    const std::size_t n = std::strlen(kDocType);
    for (std::size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1)) {
        if (html.compare(at, 4, "<!--") == 0) {
            at = commentEnd(html, at) - 1;
            continue;
        }
        if (hasWordAt(html, at, "<!doctype") && at + 9 < html.size() && isSpace(html[at + 9])) {
            std::size_t word = at + 9;
            while (word < html.size() && isSpace(html[word]))
                ++word;
            if (hasWordAt(html, word, kDocType) &&
                (word + n >= html.size() || html[word + n] == '>' || isSpace(html[word + n])))
                return true;
            continue;
        }
        const std::string name = tagName(html, at);
        if (name == "dl" || name == "dt" || name == "a")
            return false; // the links have begun
    }
    return false;
}

// Whether the document holds a <DL> list whose items are links: a <DT> inside a <DL> whose next tag
// is an <A> with an address. This is how a bookmarks file without the document type is known (the
// export of a web bookmarks service starts with its <META> and <TITLE>); a web page with links in
// paragraphs is not one.
bool hasLinkList(const std::string& html) {
    bool inList = false;
    bool afterItem = false; // the tag before was an item's <DT>
    std::size_t i = 0;
    for (std::size_t lt = html.find('<'); lt != std::string::npos; lt = html.find('<', i)) {
        if (html.compare(lt, 4, "<!--") == 0) {
            i = commentEnd(html, lt);
            continue;
        }
        const std::string name = tagName(html, lt);
        if (name.empty()) {
            i = lt + 1;
            continue;
        }
        const std::size_t gt = tagEnd(html, lt);
        if (name == "a" && afterItem && !foldSpace(attribute(html.substr(lt + 1, gt - lt - 1), "href")).empty())
            return true;
        inList = inList || name == "dl";
        afterItem = inList && name == "dt";
        i = gt == html.size() ? gt : gt + 1;
    }
    return false;
}

// Every link of the document in one pass: a link's text runs to its "</A>" or, where that is
// missing, to the next tag that cannot be inside a link.
void collectLinks(const std::string& html, std::vector<Favourite>& out) {
    bool inLink = false;
    std::string url;
    std::string text;
    const auto finish = [&] {
        if (inLink && !url.empty()) {
            const std::string title = foldSpace(decodeEntities(text));
            out.push_back({title.empty() ? url : title, url});
        }
        inLink = false;
        url.clear();
        text.clear();
    };
    std::size_t i = 0;
    while (i < html.size()) {
        const std::size_t lt = html.find('<', i);
        const std::size_t stop = lt == std::string::npos ? html.size() : lt;
        if (inLink)
            text.append(html, i, stop - i);
        if (lt == std::string::npos)
            break;
        if (html.compare(lt, 4, "<!--") == 0) {
            i = commentEnd(html, lt);
            continue;
        }
        const std::string name = tagName(html, lt);
        if (name.empty()) {
            if (inLink)
                text.push_back('<');
            i = lt + 1;
            continue;
        }
        const std::size_t gt = tagEnd(html, lt);
        if (name == "a") {
            finish();
            inLink = true;
            url = foldSpace(attribute(html.substr(lt + 1, gt - lt - 1), "href"));
        } else if (name == "/a" || name == "dt" || name == "dd" || name == "dl" || name == "/dl" || name == "h3" ||
                   name == "/dt" || name == "p" || name == "hr") {
            finish();
        }
        i = gt == html.size() ? gt : gt + 1;
    }
    finish();
}

std::string escapeHtml(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

} // namespace

std::vector<Favourite> ParseBookmarks(const std::string& html, const std::string& fileName) {
    // A file saved as UTF-16 is read in UTF-8 from its byte-order mark on, whatever it declares.
    std::string converted;
    const bool utf16 = Utf16WithMarkToUtf8(html, converted);
    const std::string& text = utf16 ? converted : html;
    if (!hasBookmarksDocType(text) && !hasLinkList(text))
        throw NotBookmarksFile("'" + fileName + "' is not a bookmarks file.");
    std::vector<Favourite> out;
    collectLinks(utf16 ? validUtf8(text) : toUtf8(text, declaredCharset(text)), out);
    return out;
}

std::string BookmarksHtml(const std::vector<Favourite>& favourites) {
    std::string out = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
                      "<!-- This is an automatically generated file.\n"
                      "     It will be read and overwritten.\n"
                      "     DO NOT EDIT! -->\n"
                      "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
                      "<TITLE>Bookmarks</TITLE>\n"
                      "<H1>Bookmarks</H1>\n"
                      "<DL><p>\n";
    for (const auto& f : favourites)
        out += "    <DT><A HREF=\"" + escapeHtml(f.url) + "\">" + escapeHtml(f.description) + "</A>\n";
    out += "</DL><p>\n";
    return out;
}

TransferReport ImportBookmarksFile(const std::string& path) {
    const auto slash = path.rfind('\\');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // One write of the store for the whole file: a browser's file holds thousands of links.
    const std::vector<Favourite> links = ParseBookmarks(platform::readAll(path), name);
    TransferReport report;
    const AddResult result = AddFavourites(links);
    if (!result.written) {
        for (const auto& f : links)
            report.refused.push_back("'" + f.description + "' was not imported: the favourites file can't be written.");
        return report;
    }
    for (const auto& f : result.refused)
        report.refused.push_back("'" + f.description + "' was not imported: it can't be stored as it is.");
    report.done = static_cast<int>(links.size() - result.refused.size());
    return report;
}

std::string WithHtmlExtension(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // A dot at the start only makes a hidden name, not an extension.
    const auto dot = name.rfind('.');
    if (name.empty() || (dot != std::string::npos && dot > 0 && dot + 1 < name.size()))
        return path;
    return (name.back() == '.' ? path.substr(0, path.size() - 1) : path) + ".html";
}

void ExportBookmarksFile(const std::string& path, const std::vector<Favourite>& favourites) {
    platform::writeFileAtomic(path, BookmarksHtml(favourites));
}

} // namespace favourites
