// The console's progress line: the task's status, and the share done once the total is known.
#include "app/console_progress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>

#include "engine/text.h"

namespace velmora {
namespace {

// A task that has already ended with this status and amount.
class EndedTask : public ProgressTask {
public:
    EndedTask(std::string status, ProgressAmount amount)
        : status_(std::move(status)), amount_(amount) {}
    void start() override {}
    std::string statusText() const override { return status_; }
    bool finished() const override { return true; }
    void close() override {}
    ProgressAmount amount() const override { return amount_; }

private:
    std::string status_;
    ProgressAmount amount_;
};

TEST(ConsoleProgress, LastLineShowsTheShareWhenTheTotalIsKnown) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    const struct {
        const char* name;
        const char* status;
        ProgressAmount amount;
        const char* line;
    } rows[] = {
        {"length unknown", "12 bytes受信完了", {12, 0}, "12 bytes受信完了"},
        {"complete", "12 bytes受信完了", {12, 12}, "12 bytes受信完了 (100%)"},
        {"cancelled at a third", "中断しています……", {1, 3}, "中断しています…… (33%)"},
        {"a byte short", "x", {999'999'999'999, 1'000'000'000'000}, "x (99%)"},
        {"a byte short of the largest total", "x", {kMax - 1, kMax}, "x (99%)"},
        {"more than announced", "x", {5, 4}, "x (100%)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EndedTask task(Utf8ToCp932(row.status), row.amount);
        std::FILE* err = std::tmpfile();
        ASSERT_NE(err, nullptr);
        RunConsoleProgress(Utf8ToCp932("ダウンロード"), "http://h/", task, fileno(err), nullptr);
        std::rewind(err);
        std::string text;
        for (int c; (c = std::fgetc(err)) != EOF;) text += static_cast<char>(c);
        std::fclose(err);
        EXPECT_EQ(text, std::string("ダウンロード: http://h/\n") + row.line + "\n");
    }
}

}  // namespace
}  // namespace velmora
