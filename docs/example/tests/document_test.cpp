// docs/writing-a-parser.md against the tree: each code block it shows
// stands word for word in the example library, and each path and toolkit
// name it gives exists, so that the document cannot drift from the code.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kSource = QV_SOURCE_DIR;
const char kDocumentName[] = "docs/writing-a-parser.md";

std::vector<std::string> ReadLines(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

size_t Indent(const std::string& line) {
  const size_t n = line.find_first_not_of(' ');
  return n == std::string::npos ? line.size() : n;
}

// The lines without the blanks they all start with (blank lines aside).
std::vector<std::string> Dedent(std::vector<std::string> lines) {
  size_t least = std::string::npos;
  for (const std::string& l : lines)
    if (Indent(l) < l.size()) least = std::min(least, Indent(l));
  for (std::string& l : lines) l = Indent(l) < l.size() ? l.substr(least) : "";
  return lines;
}

struct Document {
  struct Block {
    size_t line;  // of the opening fence, from 1
    std::vector<std::string> lines;
  };
  std::vector<Block> blocks;  // fenced code
  struct Span {
    size_t line;
    std::string text;
  };
  std::vector<Span> spans;  // inline code of the prose
  std::vector<size_t> indentedCode;  // lines of code blocks made by indenting, which no check reads

  explicit Document(const std::vector<std::string>& lines) {
    std::string prose;
    std::vector<size_t> lineAt;  // the document line of each byte of prose
    static const std::regex kListItem(" *([-*]|[0-9]+\\.) .*");
    std::string paragraph;  // the first line of the paragraph before a blank line
    for (size_t i = 0; i < lines.size(); i++) {
      const std::string& l = lines[i];
      if (l.compare(Indent(l), 3, "```") == 0) {
        Block b{i + 1, {}};
        for (i++; i < lines.size() && lines[i].compare(Indent(lines[i]), 3, "```") != 0; i++)
          b.lines.push_back(lines[i]);
        b.lines = Dedent(b.lines);
        blocks.push_back(b);
        paragraph = l;  // the fence, at the indentation of its list item
        continue;
      }
      // Within a list item, four blanks past its text; elsewhere four.
      const bool afterBlank = i > 0 && Indent(lines[i - 1]) == lines[i - 1].size();
      const bool topLevel = Indent(paragraph) == 0 && !std::regex_match(paragraph, kListItem);
      if (Indent(l) < l.size() && (Indent(l) >= 7 || (afterBlank && topLevel && Indent(l) >= 4)))
        indentedCode.push_back(i + 1);
      if (Indent(l) < l.size() && (afterBlank || paragraph.empty())) paragraph = l;
      prose += l + ' ';
      lineAt.resize(prose.size(), i + 1);
    }
    // A span may run over a line break.
    for (size_t at = prose.find('`'); at != std::string::npos;) {
      const size_t end = prose.find('`', at + 1);
      if (end == std::string::npos) break;
      spans.push_back(Span{lineAt[at], prose.substr(at + 1, end - at - 1)});
      at = prose.find('`', end + 1);
    }
  }
};

const Document& TheDocument() {
  static const Document d(ReadLines(kSource / kDocumentName));
  return d;
}

// The files of a folder, below it too, as lines.
std::vector<std::pair<fs::path, std::vector<std::string>>> FilesOf(const fs::path& folder) {
  std::vector<std::pair<fs::path, std::vector<std::string>>> files;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) files.emplace_back(e.path(), ReadLines(e.path()));
  return files;
}

// Whether the block's lines stand one after the other in the file, at any
// indentation of their own.
bool StandsIn(const std::vector<std::string>& block, const std::vector<std::string>& file) {
  for (size_t i = 0; i + block.size() <= file.size(); i++)
    if (Dedent({file.begin() + (long)i, file.begin() + (long)(i + block.size())}) == block) return true;
  return false;
}

TEST(WritingAParser, ShowsTheExampleAsItStands) {
  const auto files = FilesOf(kSource / "docs/example");
  for (size_t line : TheDocument().indentedCode)
    ADD_FAILURE() << kDocumentName << ":" << line << ": code indented, not fenced: no check reads it";
  ASSERT_FALSE(TheDocument().blocks.empty());
  for (const Document::Block& b : TheDocument().blocks) {
    bool found = false;
    for (const auto& f : files) found = found || StandsIn(b.lines, f.second);
    std::string text;
    for (const std::string& l : b.lines) text += l + '\n';
    EXPECT_TRUE(found) << kDocumentName << ":" << b.line << ": not in docs/example as it stands:\n" << text;
  }
}

// Every word of the files in the folders named.
std::set<std::string> WordsOf(std::initializer_list<const char*> folders) {
  std::set<std::string> words;
  static const std::regex kWord("[A-Za-z_][A-Za-z0-9_]*");
  for (const char* folder : folders)
    for (const auto& f : FilesOf(kSource / folder))
      for (const std::string& l : f.second)
        for (std::sregex_iterator w(l.begin(), l.end(), kWord), end; w != end; ++w) words.insert(w->str());
  return words;
}

// Paths in the tree, toolkit and test-kit names (the toolkit's with the
// contract's it builds on), and members of the objects the document calls
// by their usual names: each must exist.
TEST(WritingAParser, NamesOnlyWhatExists) {
  const std::set<std::string> toolkit = WordsOf({"plugins/common", "plugins/contract"});
  const std::set<std::string> testKit = WordsOf({"tests/support"});
  static const std::regex kToken("[^ ()\\[\\],;{}\"=&*]+");
  static const std::regex kPath("(\\.\\./|/)?[A-Za-z0-9_.<>-]+(/[A-Za-z0-9_.<>*-]*)+");
  static const std::regex kName("(qv|qvtest)::([A-Za-z_][A-Za-z0-9_]*)");
  static const std::regex kMember("\\b(list|view|cursor|layer|h)\\.([A-Za-z_][A-Za-z0-9_]*)");
  static const std::regex kField("^\\.([A-Za-z_][A-Za-z0-9_]*)");
  static const std::regex kFileName("/[^/]*\\.[A-Za-z]+$");
  static const std::regex kConstant("^[A-Z][A-Z0-9]*_[A-Z0-9_]+$");
  size_t paths = 0;
  for (const Document::Span& s : TheDocument().spans) {
    const std::string at = std::string(kDocumentName) + ":" + std::to_string(s.line) + ": `" + s.text + "`";
    for (std::sregex_iterator t(s.text.begin(), s.text.end(), kToken), end; t != end; ++t) {
      const std::string token = t->str();
      if (std::regex_match(token, kPath)) {
        const bool outside = token[0] == '/' || token.rfind("../", 0) == 0;
        EXPECT_FALSE(outside) << at << ": a path outside the repository";
        // A path: its first folder is one of the tree, or it names a file,
        // a folder or a placeholder (U8/Be16 is none). build/ is made by
        // the presets. Up to the first placeholder: plugins/<library>/...
        // names plugins/.
        const std::string top = token.substr(0, token.find('/'));
        const bool path = fs::is_directory(kSource / top) || token.find('<') != std::string::npos ||
                          token.back() == '/' || std::regex_search(token, kFileName);
        if (outside || top == "build" || !path) continue;
        const size_t placeholder = token.find('<');
        const std::string known =
            placeholder == std::string::npos ? token : token.substr(0, token.rfind('/', placeholder) + 1);
        EXPECT_TRUE(fs::exists(kSource / known)) << at << ": no " << known;
        paths++;
      }
      if (std::regex_match(token, kConstant)) {
        EXPECT_TRUE(toolkit.count(token)) << at << ": no " << token << " in the toolkit";
      }
    }
    std::smatch m;
    for (auto i = s.text.cbegin(); std::regex_search(i, s.text.cend(), m, kName); i = m.suffix().first)
      EXPECT_TRUE((m[1] == "qv" ? toolkit : testKit).count(m[2])) << at << ": no " << m[0];
    for (auto i = s.text.cbegin(); std::regex_search(i, s.text.cend(), m, kMember); i = m.suffix().first)
      EXPECT_TRUE((m[1] == "h" ? testKit : toolkit).count(m[2])) << at << ": no " << m[2];
    if (std::regex_search(s.text, m, kField)) {
      EXPECT_TRUE(toolkit.count(m[1])) << at << ": no field " << m[1];
    }
  }
  EXPECT_GT(paths, 0u);
}

}  // namespace
