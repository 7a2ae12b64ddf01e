// Randomized inputs for the three parsers that take text from users and from the system: the hex
// send path, the open dialog's multi-select buffer and the save dialog's extension rule. A million
// inputs in all, each checked against invariants; the seed is printed so a failure can be rerun
// (QUENLET_RANDOM_SEED).
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "transmit/hex_text.h"
#include "ui/file_name_extension.h"
#include "ui/file_name_selection.h"

namespace quenlet::test {
namespace {

constexpr int kHexRounds = 400000;
constexpr int kSelectionRounds = 300000;
constexpr int kExtensionRounds = 300000;

std::uint32_t seedFromEnvironment() {
    const char* text = std::getenv("QUENLET_RANDOM_SEED");
    return text != nullptr ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10)) : 20261207u;
}

class RandomText {
public:
    explicit RandomText(std::uint32_t seed) : engine_(seed) {}

    size_t below(size_t bound) { return std::uniform_int_distribution<size_t>(0, bound - 1)(engine_); }
    bool chance(int percent) { return below(100) < static_cast<size_t>(percent); }
    char pick(const std::string& alphabet) { return alphabet[below(alphabet.size())]; }
    std::string word(const std::string& alphabet, size_t maxLength) {
        std::string text(below(maxLength + 1), '\0');
        for (char& c : text) c = pick(alphabet);
        return text;
    }

private:
    std::mt19937 engine_;
};

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

TEST(RandomizedInput, HexTextRoundTripsAndRejectsWhatIsNotHex) {
    const std::uint32_t seed = seedFromEnvironment();
    RandomText random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    const std::string anyCharacter = "0123456789abcdefABCDEFxXgG \t\r\n-,;:\x7f\x80\xff";
    int failures = 0;
    for (int round = 0; round < kHexRounds && failures < 5; ++round) {
        if (round % 2 == 0) {
            // Bytes rendered as pairs, blanks sprinkled in, case mixed: the same bytes come back.
            std::vector<std::uint8_t> bytes(random.below(64));
            for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random.below(256));
            std::string pairs;
            appendHexPairs(pairs, bytes.data(), bytes.size());
            std::string typed;
            for (char c : pairs) {
                if (c != ' ' || random.chance(50)) typed += random.chance(30) ? static_cast<char>(std::tolower(c)) : c;
                if (random.chance(10)) typed += random.pick(" \r\n");
            }
            const std::string digits = removeBlanks(typed);
            if (!isHexDigits(digits) || hexDigitsToBytes(digits) != bytes) {
                ADD_FAILURE() << "round trip failed for \"" << typed << "\"";
                ++failures;
            }
        } else {
            // Any text: blanks go, nothing else does; the digit test agrees with a plain scan;
            // digits pair from the start and a lone last digit stands alone.
            const std::string text = random.word(anyCharacter, 40);
            const std::string digits = removeBlanks(text);
            std::string expectedDigits;
            for (char c : text) {
                if (c != ' ' && c != '\r' && c != '\n') expectedDigits += c;
            }
            bool allHex = true;
            for (char c : expectedDigits) allHex = allHex && isHexDigit(c);
            if (digits != expectedDigits || isHexDigits(digits) != allHex) {
                ADD_FAILURE() << "blank removal or digit test wrong for \"" << text << "\"";
                ++failures;
                continue;
            }
            if (!allHex) continue;
            const std::vector<std::uint8_t> bytes = hexDigitsToBytes(digits);
            bool pairsRight = bytes.size() == (digits.size() + 1) / 2;
            for (size_t i = 0; pairsRight && i < bytes.size(); ++i) {
                const std::string pair = digits.substr(2 * i, 2);
                pairsRight = bytes[i] == std::strtoul(pair.c_str(), nullptr, 16);
            }
            if (!pairsRight) {
                ADD_FAILURE() << "pairing wrong for \"" << digits << "\"";
                ++failures;
            }
        }
    }
}

// The probe a random selection uses: folders are the texts that end in a backslash or start with
// "D" (a stand-in for the file system, so no disk is touched a million times).
bool fakeDirectory(const char* path) {
    const std::string text = path;
    return !text.empty() && (text.back() == '\\' || text.front() == 'D');
}

TEST(RandomizedInput, MultiSelectBuffersGiveOnePathPerNameWithOneSeparator) {
    const std::uint32_t seed = seedFromEnvironment() + 1;
    RandomText random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    const std::string nameCharacters = "abcXYZ09 ._-";
    int failures = 0;
    for (int round = 0; round < kSelectionRounds && failures < 5; ++round) {
        const bool folder = random.chance(70);
        std::string first = folder ? "D:\\" + random.word(nameCharacters, 12) : "C:\\f" + random.word(nameCharacters, 12);
        if (folder && first.back() != '\\' && random.chance(50)) first += '\\';
        std::vector<std::string> names;
        const size_t nameCount = folder ? random.below(5) : 0;
        for (size_t i = 0; i < nameCount; ++i) names.push_back("n" + random.word(nameCharacters, 10));

        std::vector<char> buffer(first.begin(), first.end());
        buffer.push_back('\0');
        for (const std::string& name : names) {
            buffer.insert(buffer.end(), name.begin(), name.end());
            buffer.push_back('\0');
        }
        // The closing empty string, or a buffer cut short without it.
        if (random.chance(80)) buffer.push_back('\0');
        const std::string_view view(buffer.data(), buffer.size());

        const std::vector<std::string> paths = chosenPaths(view, true, fakeDirectory);
        std::vector<std::string> expected;
        if (names.empty()) {
            // A folder with nothing after it, or a single file: the first string alone, unless it
            // was a folder whose names the cut-off buffer lost (then nothing can be made of it).
            expected.push_back(first);
        } else {
            const std::string folderPath = first.back() == '\\' ? first : first + '\\';
            for (const std::string& name : names) expected.push_back(folderPath + name);
        }
        if (!names.empty() || !folder) {
            if (paths != expected) {
                ADD_FAILURE() << "selection read wrongly: first \"" << first << "\", " << names.size() << " names";
                ++failures;
            }
        }
        for (const std::string& path : paths) {
            if (path.find("\\\\") != std::string::npos) {
                ADD_FAILURE() << "doubled separator in " << path;
                ++failures;
            }
        }
    }
}

TEST(RandomizedInput, ExtensionRuleOnlyEverAppendsTheSelectedPatternsTail) {
    const std::uint32_t seed = seedFromEnvironment() + 2;
    RandomText random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    const std::string pathCharacters = "abC:\\ .x";
    const std::string patternCharacters = "*.abtx";
    int failures = 0;
    for (int round = 0; round < kExtensionRounds && failures < 5; ++round) {
        std::vector<std::string> patterns(random.below(4));
        std::string filter;
        for (std::string& pattern : patterns) {
            pattern = random.chance(20) ? "*.*" : random.word(patternCharacters, 6);
            if (pattern.empty()) pattern = "*";
            filter += "Files" + std::string(1, '\0') + pattern + std::string(1, '\0');
        }
        filter += '\0';
        const std::string path = random.word(pathCharacters, 12);
        const DWORD index = static_cast<DWORD>(random.below(patterns.size() + 2));

        const std::string result = withFilterExtension(path, patterns.empty() ? nullptr : filter.c_str(), index);
        std::string expected = path;
        if (!path.empty() && path.find('.') == std::string::npos && index >= 1 && index <= patterns.size()) {
            const std::string& pattern = patterns[index - 1];
            const size_t dot = pattern.rfind('.');
            if (pattern != "*.*" && dot != std::string::npos) expected += pattern.substr(dot);
        }
        if (result != expected) {
            ADD_FAILURE() << "\"" << path << "\" with pattern " << index << " gave \"" << result << "\", expected \""
                          << expected << "\"";
            ++failures;
        }
    }
}

TEST(RandomizedInput, FilterPatternsAreTheSecondStringOfEachPair) {
    RandomText random(seedFromEnvironment() + 3);
    for (int round = 0; round < 1000; ++round) {
        std::vector<std::string> patterns(random.below(5));
        std::string filter;
        for (std::string& pattern : patterns) {
            pattern = "*." + random.word("abc", 3);
            filter += random.word("Text files", 8) + "x" + std::string(1, '\0') + pattern + std::string(1, '\0');
        }
        filter += '\0';
        ASSERT_EQ(filterPatterns(filter.c_str()), patterns);
    }
}

}  // namespace
}  // namespace quenlet::test
