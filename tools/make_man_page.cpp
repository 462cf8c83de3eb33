// make_man_page PROGRAM NAME VERSION README OUT DESCRIPTION HEADING...: writes the manual page
// of a built program: its usage text as the program prints it (PROGRAM --help), the short
// DESCRIPTION, and the README sections under the given headings, so that the page follows
// the program and the README. A heading that the README lacks fails the build.
//
// The README's markdown becomes man macros: paragraphs, indented blocks (shown as they
// stand), "- " lists and `code`; a "## " heading gives only its text up to its first
// "### " subsection, and a block that begins with "usage:" is left out (the usage text is
// the page's OPTIONS section).
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Text for a line of man input: backslashes and dashes escaped, a leading dot or quote
// protected, the few non-ASCII characters of the README spelled as groff names.
std::string escape(const std::string& text, bool code_spans)
{
    std::string out = text.empty() || (text[0] != '.' && text[0] != '\'') ? "" : "\\&";
    bool in_code = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else if (c == '`' && code_spans) {
            out += in_code ? "\\fR" : "\\fB";
            in_code = !in_code;
        } else if (text.compare(i, 2, "\xC3\x97") == 0) {
            out += "\\(mu";
            ++i;
        } else if (text.compare(i, 3, "\xE2\x80\x93") == 0 || text.compare(i, 3, "\xE2\x80\x94") == 0) {
            out += text[i + 2] == '\x93' ? "\\(en" : "\\(em";
            i += 2;
        } else {
            out += c;
        }
    }
    if (in_code) out += "\\fR";
    return out;
}

bool is_heading(const std::string& line) { return line.rfind("#", 0) == 0; }
std::string heading_text(const std::string& line) { return line.substr(line.find(' ') + 1); }

// The lines of the README section under `heading`, and the "## " heading it is part of;
// false when there is none.
bool section_lines(const std::vector<std::string>& readme, const std::string& heading, std::vector<std::string>& out,
                   std::string& part)
{
    for (size_t i = 0; i < readme.size(); ++i) {
        if (readme[i].rfind("## ", 0) == 0) part = heading_text(readme[i]);
        if (!is_heading(readme[i]) || heading_text(readme[i]) != heading) continue;
        for (size_t j = i + 1; j < readme.size() && !is_heading(readme[j]); ++j) out.push_back(readme[j]);
        return true;
    }
    return false;
}

// Man macros for markdown lines.
void write_markdown(std::ostream& page, const std::vector<std::string>& lines)
{
    bool paragraph = false;  // inside running text
    for (size_t i = 0; i < lines.size();) {
        const std::string& line = lines[i];
        if (line.empty()) {
            paragraph = false;
            ++i;
        } else if (line.rfind("    ", 0) == 0) {
            // An indented block, shown as it stands; left out when it is a usage text.
            size_t end = i;
            while (end < lines.size() && (lines[end].rfind("    ", 0) == 0 || lines[end].empty())) ++end;
            while (end > i && lines[end - 1].empty()) --end;
            if (lines[i].rfind("    usage:", 0) != 0) {
                page << ".PP\n.RS 4\n.nf\n";
                for (size_t k = i; k < end; ++k) page << escape(lines[k].size() > 4 ? lines[k].substr(4) : "", false) << '\n';
                page << ".fi\n.RE\n";
            }
            paragraph = false;
            i = end;
        } else if (line.rfind("- ", 0) == 0) {
            page << ".IP \\(bu 2\n" << escape(line.substr(2), true) << '\n';
            paragraph = true;
            ++i;
        } else {
            if (!paragraph) page << ".PP\n";
            page << escape(line.rfind("  ", 0) == 0 ? line.substr(line.find_first_not_of(' ')) : line, true) << '\n';
            paragraph = true;
            ++i;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 7) {
        std::printf("usage: %s PROGRAM NAME VERSION README OUT DESCRIPTION [HEADING...]\n", argv[0]);
        return 1;
    }
    const std::string program = argv[1], name = argv[2], version = argv[3];

    // The usage text exactly as the program prints it, with the name in place of the path.
    std::string usage;
    if (std::FILE* run = ::popen(("'" + program + "' --help").c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, run)) > 0;) usage.append(buffer, n);
        ::pclose(run);
    }
    const std::string first = "usage: " + program + " ";
    if (usage.rfind(first, 0) == 0) usage.replace(7, program.size(), name);
    if (usage.rfind("usage: " + name + " ", 0) != 0) {
        std::printf("error: no usage text from '%s'\n", program.c_str());
        return 1;
    }

    std::vector<std::string> readme;
    std::ifstream readme_file(argv[4]);
    for (std::string line; std::getline(readme_file, line);) readme.push_back(line);

    std::ostringstream page;
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    std::istringstream usage_lines(usage);
    std::string synopsis;
    std::getline(usage_lines, synopsis);
    page << ".TH " << upper << " 1 \"\" \"zk map extractors " << version << "\" \"User Commands\"\n"
         << ".SH NAME\n" << name << " \\- " << escape(argv[6], false) << "\n"
         << ".SH SYNOPSIS\n.B " << name << "\n" << escape(synopsis.substr(7 + name.size() + 1), false) << "\n"
         << ".SH DESCRIPTION\n";
    for (int i = 7; i < argc; ++i) {
        std::vector<std::string> lines;
        std::string part;
        if (!section_lines(readme, argv[i], lines, part)) {
            std::printf("error: no README section '%s'\n", argv[i]);
            return 1;
        }
        // The notes beside a usage text continue the text before them.
        if (i > 7 && part != "Usage") page << ".SS " << escape(argv[i], true) << "\n";
        write_markdown(page, lines);
    }
    page << ".SH OPTIONS\n.nf\n";
    for (std::string line; std::getline(usage_lines, line);) page << escape(line, false) << '\n';
    page << ".fi\n.SH EXIT STATUS\n0 when every map was written (or kept), 1 on any error or after the usage text.\n";

    std::ofstream out(argv[5]);
    out << page.str();
    out.close();
    if (!out) {
        std::printf("error: write '%s'\n", argv[5]);
        return 1;
    }
    return 0;
}
