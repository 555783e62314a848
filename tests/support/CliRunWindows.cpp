#include "CliRun.h"

#include "platform/fileSystem.h"
#include "platform/utf16.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

namespace twinframe::test {

namespace {

// The words of a POSIX shell's command line: split at spaces, single quotes keeping a word whole.
std::vector<std::string> shellWords(const std::string& arguments) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (const char c : arguments) {
        if (c == '\'') {
            quoted = !quoted;
            inWord = true;
        } else if (c == ' ' && !quoted) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

// One argument as CommandLineToArgvW reads it back: quoted, with backslashes before a quote
// doubled.
std::wstring quotedArgument(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
        } else if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        quoted += c;
    }
    quoted.append(backslashes, L'\\');
    return quoted + L"\"";
}

// The program's output with each CR LF read as the LF the tests expect (as on POSIX systems).
// A line ended without its CR is a fault of the program's, and fails the test that reads it.
std::string linesOf(const std::string& output, const char* stream) {
    std::string text;
    for (std::size_t i = 0; i < output.size(); ++i) {
        if (output[i] == '\r' && i + 1 < output.size() && output[i + 1] == '\n')
            continue;
        if (output[i] == '\n' && (i == 0 || output[i - 1] != '\r'))
            throw std::runtime_error(std::string("a line of ") + stream +
                                     " ends in LF without CR: " + output);
        text += output[i];
    }
    return text;
}

HANDLE inheritableFile(const std::filesystem::path& path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot create " + utf8Text(path));
    return file;
}

} // namespace

CliRun runProgram(const std::string& program, const TempDir& folder, const std::string& arguments,
                  const std::string& before) {
    if (!before.empty())
        throw std::invalid_argument("no shell commands before a program on Windows");
    // Under Wine a POSIX path such as the build's is found on the drive that maps the root.
    const std::filesystem::path executable = std::filesystem::absolute(pathFromUtf8(program));
    std::wstring commandLine = quotedArgument(executable.native());
    for (const std::string& word : shellWords(arguments))
        commandLine += L" " + quotedArgument(utf16FromUtf8(word));

    const auto out = folder / ".out";
    const auto err = folder / ".err";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = inheritableFile(out);
    startup.hStdError = inheritableFile(err);
    PROCESS_INFORMATION process{};
    const BOOL started =
        ::CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         folder.path().c_str(), &startup, &process);
    ::CloseHandle(startup.hStdOutput);
    ::CloseHandle(startup.hStdError);
    if (!started)
        throw std::runtime_error("cannot start " + program);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);

    CliRun run;
    run.exitCode = static_cast<int>(exitCode);
    run.out = linesOf(fileText(out), "standard output");
    run.err = linesOf(fileText(err), "standard error");
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

} // namespace twinframe::test
