// mdutil: exit status and messages.
#include "MetabaseTest.h"

namespace mdtest {

namespace {

class Mdutil : public MetabaseTest
{
};

TEST_F(Mdutil, ExitStatusAndMessages)
{
    struct Row { const wchar_t* arguments; DWORD exitCode; const char* text; };
    const Row rows[] = {
        { L"", 2, "Usage: mdutil" },
        { L"--help", 0, "add-site <number>" },
        { L"frobnicate /LM", 2, "Usage: mdutil" },
        { L"show", 2, "Usage: mdutil" },
        { L"-t soon show /LM", 2, "Usage: mdutil" },
        { L"add-site 0 Site C:\\ :80:", 2, "Usage: mdutil" },
        { L"delete /", 2, "below the root" },
        { L"show /LM/W3SVC/9", 1, "0x80070003" },
        { L"tree /LM/W3SVC", 1, "0x80070003" },
        { L"add-site 3 Three C:\\ :80:", 0, "added /LM/W3SVC/3" },
        { L"add-site 3 Again C:\\ :81:", 1, "0x800700B7" },
        { L"delete /LM/W3SVC/3", 0, "deleted /LM/W3SVC/3" },
        { L"show /LM", 0, "IIsComputer" },
        { L"tree", 0, "/LM\n" },
    };
    for (size_t i = 0; i < ARRAYSIZE(rows); ++i) {
        ProcessResult result = RunMdutil(rows[i].arguments);
        EXPECT_EQ(rows[i].exitCode, result.exitCode) << "row " << i << ":\n" << result.output;
        EXPECT_NE(std::string::npos, result.output.find(rows[i].text)) << "row " << i << ":\n" << result.output;
    }
}

} // namespace

} // namespace mdtest
