// Stands in for the web browser: writes the address it was asked to open to the file that
// ZEM_URL_RECORD names, so a test can see what a double click on the link opened.
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const char* out = std::getenv("ZEM_URL_RECORD");
    if (!out || argc < 2)
        return 2;
    FILE* f = std::fopen(out, "wb");
    if (!f)
        return 3;
    std::fputs(argv[1], f);
    std::fclose(f);
    return 0;
}
