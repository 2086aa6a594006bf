#include "tool/folvane_cli.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return bidder::cli::RunToolMain("folvane", folvane::cli::Run, argc, argv); }
#else
int main(int argc, char** argv) { return bidder::cli::RunToolMain("folvane", folvane::cli::Run, argc, argv); }
#endif
