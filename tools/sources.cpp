// Reading the builder's sources: CSV tables and the curated one-entry-a-line lists.
#include <fstream>
#include <sstream>

#include <fmt/format.h>

#include "tools/datafile_builder.h"

namespace qel::datafile {

namespace {

std::string lf_readWhole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw SourceError(fmt::format("cannot open {}", path.string()));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string_view lf_trimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// One record from `pos`; false at the end of the text. Quoted cells may hold commas, line
// ends and doubled quotes.
bool lf_nextRecord(std::string_view text, std::size_t& pos, std::vector<std::string>& cells,
                   const std::string& name)
{
    cells.clear();
    if (pos >= text.size()) return false;
    std::string cell;
    bool quoted = false;
    bool wasQuoted = false;
    while (pos < text.size()) {
        const char c = text[pos++];
        if (quoted) {
            if (c != '"') {
                cell += c;
            } else if (pos < text.size() && text[pos] == '"') {
                cell += '"';
                ++pos;
            } else {
                quoted = false;
            }
            continue;
        }
        if (c == '"' && cell.empty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == ',') {
            cells.push_back(std::move(cell));
            cell.clear();
            wasQuoted = false;
        } else if (c == '\n') {
            break;
        } else if (c != '\r') {
            cell += c;
        }
    }
    if (quoted) throw SourceError(fmt::format("{}: unterminated quoted cell", name));
    cells.push_back(std::move(cell));
    return true;
}

// A comment starts with '#' at the start of a line or after a blank or tab; a '#' inside an
// entry ("title;reg;#") stays part of it.
std::size_t lf_commentStart(std::string_view line)
{
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) return i;
    }
    return line.size();
}

}  // namespace

std::size_t CsvTable::column(std::string_view columnName) const
{
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (header[i] == columnName) return i;
    }
    throw SourceError(fmt::format("{}: no column {}", name, columnName));
}

CsvTable parseCsv(std::string_view text, const std::string& name)
{
    // A byte-order mark before the header would glue itself to the first column's name.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    CsvTable table;
    table.name = name;
    std::size_t pos = 0;
    std::vector<std::string> cells;
    if (!lf_nextRecord(text, pos, cells, name)) throw SourceError(name + ": no header row");
    table.header = cells;
    std::size_t line = 1;
    while (lf_nextRecord(text, pos, cells, name)) {
        ++line;
        if (cells.size() == 1 && cells[0].empty()) continue;  // a blank line
        if (cells.size() != table.header.size()) {
            throw SourceError(fmt::format("{}: record {} has {} cells, the header {}", name, line,
                                          cells.size(), table.header.size()));
        }
        table.rows.push_back(cells);
    }
    return table;
}

CsvTable readCsv(const std::filesystem::path& path)
{
    // Two sources have an airports.csv: the folder tells them apart in messages.
    return parseCsv(lf_readWhole(path),
                    (path.parent_path().filename() / path.filename()).generic_string());
}

std::vector<std::string> parseListText(std::string_view text)
{
    std::vector<std::string> entries;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        line = lf_trimBlanks(line.substr(0, lf_commentStart(line)));
        if (!line.empty()) entries.emplace_back(line);
        pos = end + 1;
    }
    return entries;
}

std::vector<std::string> readListFile(const std::filesystem::path& path)
{
    return parseListText(lf_readWhole(path));
}

}  // namespace qel::datafile
