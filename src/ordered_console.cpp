#include "ordered_console.h"

#include <chrono>
#include <iostream>

namespace {

void print_oldest(ordered_reports& reports) {
  const console_report report = reports.pending.front().get();
  reports.pending.pop_front();
  if (!report.err.empty()) {
    std::cerr << report.err;
  }
  std::cout << report.out;
  reports.all_ok = reports.all_ok && report.ok;
}

}  // namespace

void add_report(ordered_reports& reports, std::future<console_report> report) {
  reports.pending.push_back(std::move(report));
  while (reports.pending.size() > reports.limit) {
    print_oldest(reports);
  }
  print_finished_reports(reports);
}

void add_report(ordered_reports& reports, console_report report) {
  std::promise<console_report> done;
  done.set_value(std::move(report));
  add_report(reports, done.get_future());
}

void print_finished_reports(ordered_reports& reports) {
  while (!reports.pending.empty() &&
         reports.pending.front().wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
    print_oldest(reports);
  }
}

void print_all_reports(ordered_reports& reports) {
  while (!reports.pending.empty()) {
    print_oldest(reports);
  }
}
