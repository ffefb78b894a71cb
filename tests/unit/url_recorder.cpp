// Stands in for the web browser: writes the address it was asked to open to the file ZEM_URL_RECORD names.
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const char* out = std::getenv("ZEM_URL_RECORD");
    FILE* f = out && argc >= 2 ? std::fopen(out, "wb") : nullptr;
    if (!f)
        return 2;
    std::fputs(argv[1], f);
    return std::fclose(f);
}
