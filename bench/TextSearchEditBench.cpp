// Replacing, searching and removing in a long TextString, each beside the
// same job done with std::string.
#include <benchmark/benchmark.h>

#include <ctype.h>

#include <algorithm>
#include <string>

#include "text/TextString.h"

namespace {

// 1 MiB of text with 10,000 occurrences of "COM" spread evenly, and one
// whole-word "Port" at the very end.
const std::string& LongText() {
    static std::string text = [] {
        std::string t;
        for (int i = 0; i < 10000; ++i) t += std::string(100, 'x') + " COM-";
        t.resize((1 << 20) - 5, 'z');
        t += " Port";
        return t;
    }();
    return text;
}

void BM_ReplaceText_TextString(benchmark::State& state) {
    for (auto _ : state) {
        TextString s(LongText().c_str());
        benchmark::DoNotOptimize(s.ReplaceText("COM", "SERIAL PORT", false));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(LongText().size()));
}
BENCHMARK(BM_ReplaceText_TextString)->Unit(benchmark::kMillisecond);

// One pass that builds the result; it gives the same text here, since no
// replacement forms a new occurrence with its neighbours.
void BM_ReplaceText_StdString(benchmark::State& state) {
    const std::string find = "COM", replacement = "SERIAL PORT";
    for (auto _ : state) {
        std::string s = LongText();
        std::string out;
        out.reserve(s.size());
        size_t from = 0, p;
        while ((p = s.find(find, from)) != std::string::npos) {
            out.append(s, from, p - from);
            out += replacement;
            from = p + find.size();
        }
        out.append(s, from, std::string::npos);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(LongText().size()));
}
BENCHMARK(BM_ReplaceText_StdString)->Unit(benchmark::kMillisecond);

// Whole word and ignore case: "PORT" is found only as the last word.
void BM_Search_TextString(benchmark::State& state) {
    TextString s(LongText().c_str());
    for (auto _ : state) benchmark::DoNotOptimize(s.Search("PORT", 0, true, true));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(LongText().size()));
}
BENCHMARK(BM_Search_TextString)->Unit(benchmark::kMicrosecond);

bool IsWord(char c) { return isalnum(static_cast<unsigned char>(c)) && c != '0'; }

void BM_Search_StdString(benchmark::State& state) {
    const std::string& s = LongText();
    const std::string find = "PORT";
    auto same = [](char a, char b) {
        return toupper(static_cast<unsigned char>(a)) == toupper(static_cast<unsigned char>(b));
    };
    for (auto _ : state) {
        auto it = s.begin();
        long found = -1;
        while ((it = std::search(it, s.end(), find.begin(), find.end(), same)) != s.end()) {
            size_t p = size_t(it - s.begin()), e = p + find.size();
            if ((p == 0 || !IsWord(s[p - 1])) && (e == s.size() || !IsWord(s[e]))) {
                found = long(p);
                break;
            }
            ++it;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(LongText().size()));
}
BENCHMARK(BM_Search_StdString)->Unit(benchmark::kMicrosecond);

// Both flags off: the plain search.
void BM_SearchPlain_TextString(benchmark::State& state) {
    TextString s(LongText().c_str());
    for (auto _ : state) benchmark::DoNotOptimize(s.Search("Port", 0, false, false));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(LongText().size()));
}
BENCHMARK(BM_SearchPlain_TextString)->Unit(benchmark::kMicrosecond);

void BM_SearchPlain_StdString(benchmark::State& state) {
    const std::string& s = LongText();
    for (auto _ : state) benchmark::DoNotOptimize(s.find("Port"));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(LongText().size()));
}
BENCHMARK(BM_SearchPlain_StdString)->Unit(benchmark::kMicrosecond);

// 10,000 of the removed character in 1 MiB; the copy of the text is part of
// both measurements.
void BM_RemoveAllOccurrences_TextString(benchmark::State& state) {
    for (auto _ : state) {
        TextString s(LongText().c_str());
        benchmark::DoNotOptimize(s.RemoveAllOccurrences('-'));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(LongText().size()));
}
BENCHMARK(BM_RemoveAllOccurrences_TextString)->Unit(benchmark::kMillisecond);

void BM_RemoveAllOccurrences_StdString(benchmark::State& state) {
    for (auto _ : state) {
        std::string s = LongText();
        s.erase(std::remove(s.begin(), s.end(), '-'), s.end());
        benchmark::DoNotOptimize(s.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(LongText().size()));
}
BENCHMARK(BM_RemoveAllOccurrences_StdString)->Unit(benchmark::kMillisecond);

}  // namespace
