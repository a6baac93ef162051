#include "results/csv_writer.h"

#include <utility>

#include "textio/shortest.h"

namespace liftsim::results {

void append_number(std::string& out, double value) {
  char buf[textio::kShortestRoom];
  out.append(buf, textio::write_shortest(buf, value));
}

CsvSink::CsvSink(textio::BufferedFile& file, const std::vector<const Column*>& columns)
    : file_(file), row_text_(columns.size() * (textio::kShortestRoom + 1)) {
  std::string& out = file_.buffer();
  bool first = true;
  for (const Column* c : columns) {
    if (!first) out += ',';
    out += c->name;
    first = false;
  }
  out += '\n';
  file_.end_record();
}

void CsvSink::on_row(std::span<const double> row) {
  // The row is put together in its own room and appended whole: one append per row, not per number.
  char* const text = row_text_.data();
  char* end = text;
  for (const double v : row) {
    if (end != text) *end++ = ',';
    end = textio::write_shortest(end, v);
  }
  *end++ = '\n';
  file_.buffer().append(text, end);
  file_.end_record();
}

CsvWriter::CsvWriter(textio::BufferedFile* file, std::optional<double> grid_step,
                     std::vector<const Column*> selected)
    : file_(file),
      sink_(*file, all_if_none(selected)),
      maker_(grid_step, std::move(selected), {&sink_}) {}

}  // namespace liftsim::results
