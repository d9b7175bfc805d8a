#include "ordered_console.h"

#include <iostream>

namespace {

// Waits until the report `index` places after the oldest has arrived.
void wait_for(ordered_reports& reports, std::size_t index) {
  job_future<console_report>& report = reports.pending[index];
  if (!report.ready()) {
    if (reports.hand_over_gathered) {
      reports.hand_over_gathered();
    }
    report.wait();
  }
}

void print_report(ordered_reports& reports, const console_report& report) {
  if (!report.err.empty()) {
    std::cerr << report.err;
  }
  std::cout << report.out;
  reports.all_ok = reports.all_ok && report.ok;
}

void print_oldest(ordered_reports& reports) {
  wait_for(reports, 0);
  const console_report report = reports.pending.front().get();
  reports.pending.pop_front();
  print_report(reports, report);
}

}  // namespace

void add_report(ordered_reports& reports, job_future<console_report> report) {
  reports.pending.push_back(std::move(report));
  // Down to half the limit at once, so that a thread behind the others is waited for once per
  // many reports rather than for each.
  if (reports.pending.size() > reports.limit) {
    // The newest report to print first: the work before it has mostly ended by then, so the
    // helpers are woken and waited for once rather than once per report.
    wait_for(reports, reports.pending.size() - reports.limit / 2 - 1);
    while (reports.pending.size() > reports.limit / 2) {
      print_oldest(reports);
    }
  }
  print_finished_reports(reports);
}

void add_report(ordered_reports& reports, console_report report) {
  if (reports.pending.empty()) {
    print_report(reports, report);  // nothing before it to wait for
    return;
  }
  add_report(reports, finished_future(std::move(report)));
}

void print_finished_reports(ordered_reports& reports) {
  while (!reports.pending.empty() && reports.pending.front().ready()) {
    print_oldest(reports);
  }
}

void print_all_reports(ordered_reports& reports) {
  if (!reports.pending.empty()) {
    wait_for(reports, reports.pending.size() - 1);
  }
  while (!reports.pending.empty()) {
    print_oldest(reports);
  }
}
