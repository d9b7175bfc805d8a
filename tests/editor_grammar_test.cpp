// The TextMate grammar for editors (editors/orvello.tmLanguage.json) against the program's own
// routing table: a block region for every kind that opens and closes on its lines, earlier kinds
// nested where the routing opens them, and the setting patterns of exactly the kind's keys.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "block_routing.h"

namespace {

using nlohmann::json;

json grammar() {
  std::ifstream file(ORVELLO_EDITOR_GRAMMAR);
  return json::parse(file);
}

bool matches(const json& pattern, const std::string& key, const std::string& line) {
  return pattern.contains(key) &&
         std::regex_search(line, std::regex(pattern[key].get<std::string>()));
}

// Whether one of the setting patterns of `region` takes "@@key value".
bool takes_setting(const json& region, std::string_view key) {
  const std::string line = std::string("@@").append(key).append(" value");
  for (const json& pattern : region["patterns"]) {
    if (pattern.contains("captures") && matches(pattern, "match", line)) {
      return true;
    }
  }
  return false;
}

TEST(EditorGrammar, FollowsTheRoutingOfEveryKind) {
  const json repository = grammar()["repository"];
  for (const block_route& route : block_routes) {
    const std::string name = std::string("block-").append(route.names.opening.substr(1));
    ASSERT_TRUE(repository.contains(name)) << name;
    const json& region = repository[name];
    EXPECT_TRUE(matches(region, "begin", std::string(route.names.opening))) << name;
    EXPECT_TRUE(matches(region, "end", std::string(route.names.closing))) << name;
    EXPECT_FALSE(matches(region, "begin", std::string(" ").append(route.names.opening))) << name;
    for (const block_route& other : block_routes) {
      for (const setting_key& key : other.settings(prose_settings{})) {
        const std::string_view typed = key.prefix.substr(2, key.prefix.size() - 3);
        const bool own =
            std::ranges::any_of(route.settings(prose_settings{}),
                                [&](const setting_key& mine) { return mine.prefix == key.prefix; });
        EXPECT_EQ(own, takes_setting(region, typed)) << name << " @@" << typed;
      }
    }
  }
}

}  // namespace
