#include "favourites/Bookmarks.h"

#include "platform/FileIO.h"
#include "platform/Text.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <memory>

namespace favourites {

namespace {

constexpr const char* kDocType = "NETSCAPE-Bookmark-file-1";

// Recover from the loose markup quietly, fetch nothing, and lift the depth limit: every unclosed
// <DT> opens a level, so without it the parser stops after a few hundred links. No encoding is
// forced: the file's own charset declaration is honoured, and UTF-8 is taken where it has none.
constexpr int kParseOptions =
    HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | XML_PARSE_HUGE;

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

std::string xmlText(const xmlChar* text) {
    return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

// Runs of blanks, tabs and line breaks become one blank; none at the ends.
std::string foldSpace(const std::string& text) {
    std::string out;
    bool space = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') {
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

// The text of a string libxml2 handed over, which is then freed.
std::string takeXml(xmlChar* text) {
    std::string out = xmlText(text);
    if (text)
        xmlFree(text);
    return out;
}

// Walks the tree in document order without recursion: the parser nests every unclosed <DT> inside
// the one before it, so a file of many links is a very deep tree.
void collectLinks(xmlNode* root, std::vector<Favourite>& out) {
    xmlNode* node = root;
    while (node) {
        if (node->type == XML_ELEMENT_NODE && platform::equalNoCase(xmlText(node->name), "a")) {
            const std::string url =
                foldSpace(takeXml(xmlGetProp(node, reinterpret_cast<const xmlChar*>("href"))));
            if (!url.empty()) {
                const std::string title = foldSpace(takeXml(xmlNodeGetContent(node)));
                out.push_back({title.empty() ? url : title, url});
            }
        }
        if (node->children) {
            node = node->children;
            continue;
        }
        while (node && node != root && !node->next)
            node = node->parent;
        node = (node && node != root) ? node->next : nullptr;
    }
}

std::string escapeHtml(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

} // namespace

std::vector<Favourite> ParseBookmarks(const std::string& html, const std::string& fileName) {
    const std::string refusal = "'" + fileName + "' is not a bookmarks file.";
    if (html.empty() || html.size() > static_cast<std::size_t>(INT32_MAX))
        throw NotBookmarksFile(refusal);
    std::unique_ptr<xmlDoc, DocFree> doc(htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, nullptr, kParseOptions));
    if (!doc || !doc->intSubset || !platform::equalNoCase(xmlText(doc->intSubset->name), kDocType))
        throw NotBookmarksFile(refusal);
    std::vector<Favourite> out;
    collectLinks(xmlDocGetRootElement(doc.get()), out);
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

int ImportBookmarksFile(const std::string& path, const ErrorSink& sink) {
    const auto slash = path.rfind('\\');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // One write of the store for the whole file: a browser's file holds thousands of links.
    const std::vector<Favourite> links = ParseBookmarks(platform::readAll(path), name);
    const AddResult result = AddFavourites(links);
    for (const auto& f : result.refused)
        sink(75, "Path/File access error: the favourite '" + f.description + "' could not be stored");
    if (!result.written) {
        sink(75, "Path/File access error: the favourites file can't be written; no link was stored");
        return 0;
    }
    return static_cast<int>(links.size() - result.refused.size());
}

void ExportBookmarksFile(const std::string& path, const std::vector<Favourite>& favourites) {
    platform::writeFileAtomic(path, BookmarksHtml(favourites));
}

} // namespace favourites
