// One writer per site: advisory locks (flock) that a process gives back when it ends, however it
// ends. A serve holds its folder for its whole life; every build holds proj/ while it writes
// site/, and a check holds it shared while it reads. Nothing is written to take them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <utility>

// A held lock (or none, when its folder could not be opened), given back when destroyed.
class held_lock {
 public:
  held_lock() = default;
  explicit held_lock(int fd) : fd_(fd) {}
  held_lock(held_lock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  held_lock& operator=(held_lock&& other) noexcept;
  held_lock(const held_lock&) = delete;
  held_lock& operator=(const held_lock&) = delete;
  ~held_lock();

 private:
  int fd_ = -1;
};

// Claims `folder` for one serve; nothing when another process serves it already.
std::optional<held_lock> claim_serving(const std::filesystem::path& folder);

// How a run uses site/: a build writes it, a check reads what a build wrote.
enum class site_use { build, check };

// Takes `proj`'s lock for `use`, waiting while another process builds; when it must wait, says so
// on `notices` first. Holds nothing when `proj` cannot be opened (the run reports that itself).
held_lock lock_site(const std::filesystem::path& proj, site_use use, std::ostream& notices);

// What tells one build of `site` from another: the folder's inode and change time (a run that
// starts over makes it anew), nothing while it is missing.
std::optional<std::pair<std::uint64_t, std::int64_t>> site_stamp(const std::filesystem::path& site);
