#include "dsp/nsp.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

// Runs each test with the standard report, leaf mode, a cleared status and boxes answered "No".
class StandardReport : public ::testing::Test {
  protected:
    void SetUp() override {
        nspRedirectError(nullptr);
        nspSetErrMode(NSP_ErrorModeLeaf);
        nspSetErrStatus(NSP_StsOk);
        PlatformSetMessageBoxAnswer(IDNO);
    }
    void TearDown() override {
        nspSetErrMode(NSP_ErrorModeLeaf);
        nspSetErrStatus(NSP_StsOk);
        PlatformSetMessageBoxAnswer(kNobodyAnswers);
    }
    static constexpr int kNobodyAnswers = 0;
    static PlatformMessageBoxRecord lastBox() {
        PlatformMessageBoxRecord box{};
        PlatformLastMessageBox(&box);
        return box;
    }
};

TEST(ErrorStatus, texts_of_known_and_unknown_statuses) {
    EXPECT_STREQ(nspErrorStr(0), "No Error");
    EXPECT_STREQ(nspErrorStr(-1), "Backtrace");
    EXPECT_STREQ(nspErrorStr(-2), "Unknown error");
    EXPECT_STREQ(nspErrorStr(-3), "Internal error (bad state)");
    EXPECT_STREQ(nspErrorStr(-4), "Out of memory");
    EXPECT_STREQ(nspErrorStr(-5), "Bad argument");
    EXPECT_STREQ(nspErrorStr(-6), "Unsupported function");
    EXPECT_STREQ(nspErrorStr(-7), "Iteration convergence failed");
    EXPECT_STREQ(nspErrorStr(-8), "Autotrace call");
    EXPECT_STREQ(nspErrorStr(-42), "Unknown error code -42");
    EXPECT_STREQ(nspErrorStr(7), "Unknown status code 7");
}

TEST_F(StandardReport, status_zero_calls_no_handler_and_trace_statuses_keep_the_status) {
    const int boxes = lastBox().count;
    EXPECT_EQ(nspError(NSP_StsOk, "f", "m", "file.cpp", 1), NSP_StsOk);
    EXPECT_EQ(lastBox().count, boxes);

    nspSetErrStatus(NSP_StsBadFunc);
    nspError(NSP_StsOk, "f", "m", "file.cpp", 1);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadFunc) << "status 0 must clear nothing";

    nspSetErrStatus(NSP_StsOk);
    nspError(NSP_StsBackTrace, "f", "m", "file.cpp", 1);
    nspError(NSP_StsAutoTrace, "f", "m", "file.cpp", 1);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsOk);
    EXPECT_EQ(lastBox().count, boxes + 2);
}

TEST_F(StandardReport, leaf_mode_asks_to_terminate_in_a_yes_no_box) {
    nspError(NSP_StsBadArg, "nspsFoo", "n<=0", "nspfoo.cpp", 42);
    const auto box = lastBox();
    EXPECT_STREQ(box.caption, "SPL Library Error: Bad argument");
    EXPECT_STREQ(box.text, "in function [nspfoo.cpp:42]:nspsFoo():\n n<=0"
                           "\n\nErrMode=NSP_ErrorModeLeaf\n\nTerminate the application?");
    EXPECT_EQ(box.type, MB_YESNO | MB_DEFBUTTON2);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
}

TEST_F(StandardReport, parent_mode_asks_to_continue_in_an_ok_cancel_box) {
    nspSetErrMode(NSP_ErrorModeParent);
    PlatformSetMessageBoxAnswer(IDOK);
    nspError(NSP_StsNoMem, nullptr, "No working Twd memory", "nspfft.cpp", 7);
    const auto box = lastBox();
    EXPECT_STREQ(box.caption, "SPL Library Error: Out of memory");
    EXPECT_STREQ(box.text, "in function [nspfft.cpp:7]:<unknown>():\n No working Twd memory"
                           "\n\nErrMode=NSP_ErrorModeParent\n\nContinue?");
    EXPECT_EQ(box.type, MB_OKCANCEL);
}

TEST_F(StandardReport, trace_statuses_use_the_called_from_texts) {
    nspError(NSP_StsBackTrace, "outer", "ctx", "a.cpp", 3);
    EXPECT_STREQ(lastBox().text, "called from [a.cpp:3]:outer():\n ctx"
                                 "\n\nErrMode=NSP_ErrorModeLeaf\n\nTerminate the application?");
    EXPECT_STREQ(lastBox().caption, "SPL Library Error: Backtrace");
    nspError(NSP_StsAutoTrace, "inner", "args", "b.cpp", 4);
    EXPECT_STREQ(lastBox().text, "called from [b.cpp:4]:\n inner(args)"
                                 "\n\nErrMode=NSP_ErrorModeLeaf\n\nTerminate the application?");
}

TEST_F(StandardReport, silent_mode_shows_nothing_but_still_sets_the_status) {
    nspSetErrMode(NSP_ErrorModeSilent);
    const int boxes = lastBox().count;
    nspError(NSP_StsBadArg, "f", "m", "f.cpp", 1);
    EXPECT_EQ(lastBox().count, boxes);
    EXPECT_EQ(nspGetErrStatus(), NSP_StsBadArg);
}

TEST_F(StandardReport, library_functions_report_their_name_file_and_message) {
    float value = 1.0f;
    nspsbMpy1(2.0f, &value, 0);
    const std::string text = lastBox().text;
    EXPECT_EQ(text.rfind("in function [nsp_vector.cpp:", 0), 0u) << text;
    EXPECT_NE(text.find("]:nspsbMpy1():\n n<=0\n\n"), std::string::npos) << text;
    EXPECT_FLOAT_EQ(value, 1.0f);
}

TEST_F(StandardReport, redirect_returns_the_previous_handler_and_null_restores_the_standard) {
    const NSPErrorCallBack previous = nspRedirectError(nspNulDevReport);
    EXPECT_EQ(previous, &nspStdErrReport);
    const int boxes = lastBox().count;
    nspError(NSP_StsBadArg, "f", "m", "f.cpp", 1);
    EXPECT_EQ(lastBox().count, boxes);
    EXPECT_EQ(nspRedirectError(nullptr), &nspNulDevReport);
    nspError(NSP_StsBadArg, "f", "m", "f.cpp", 1);
    EXPECT_EQ(lastBox().count, boxes + 1);
}

TEST_F(StandardReport, a_report_nobody_answers_carries_on_in_either_mode) {
    // A process without a user: no answer set, or one left over that is no button of the box.
    for (int leftOver : {kNobodyAnswers, IDOK, IDCANCEL}) {
        SCOPED_TRACE(leftOver);
        PlatformSetMessageBoxAnswer(leftOver);
        nspSetErrMode(NSP_ErrorModeLeaf);
        nspError(NSP_StsBadArg, "f", "m", "f.cpp", 1);
        EXPECT_EQ(lastBox().answer, IDNO) << "Terminate the application? must default to No";
        nspSetErrMode(NSP_ErrorModeParent);
        PlatformSetMessageBoxAnswer(leftOver == IDCANCEL ? kNobodyAnswers : leftOver);
        nspError(NSP_StsBadArg, "f", "m", "f.cpp", 1);
        EXPECT_EQ(lastBox().answer, IDOK) << "Continue? must default to OK";
    }
}

using StandardReportDeathTest = StandardReport;

TEST_F(StandardReportDeathTest, a_headless_process_survives_reports_in_both_modes) {
    EXPECT_EXIT(
        {
            PlatformSetMessageBoxAnswer(kNobodyAnswers);
            nspError(NSP_StsNoMem, "f", "m", "f.cpp", 1);
            nspSetErrMode(NSP_ErrorModeParent);
            nspError(NSP_StsNoMem, "f", "m", "f.cpp", 1);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(StandardReportDeathTest, answering_yes_in_leaf_mode_terminates_with_code_1) {
    EXPECT_EXIT(
        {
            PlatformSetMessageBoxAnswer(IDYES);
            nspError(NSP_StsBadArg, "f", "m", "f.cpp", 1);
        },
        ::testing::ExitedWithCode(1), "SPL Library:\nterminating the application");
}

TEST_F(StandardReportDeathTest, answering_cancel_in_parent_mode_terminates_with_code_1) {
    EXPECT_EXIT(
        {
            nspSetErrMode(NSP_ErrorModeParent);
            PlatformSetMessageBoxAnswer(IDCANCEL);
            nspError(NSP_StsBadArg, "f", "m", "f.cpp", 1);
        },
        ::testing::ExitedWithCode(1), "SPL Library:\nterminating the application");
}

} // namespace
