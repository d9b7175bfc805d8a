#include <iostream>
#include <map>
#include <string>
#include <vector>

// Counts how often each word occurs.
template <typename Words>
std::map<std::string, int> histogram(const Words& words) {
    std::map<std::string, int> counts;
    for (const auto& word : words) {
        ++counts[word];
    }
    return counts;
}

class greeter {
public:
    explicit greeter(std::string name) : name_(std::move(name)) {}
    void greet() const { std::cout << "Hello, " << name_ << "!\n"; }
private:
    std::string name_;
};

int main() {
    std::vector<std::string> words{"a", "b", "a", "c"};
    for (const auto& [word, count] : histogram(words)) {
        std::cout << word << ": " << count << '\n';
    }
    greeter{"world"}.greet();
    return 0;
}
