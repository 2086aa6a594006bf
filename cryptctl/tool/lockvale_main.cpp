#include "tool/lockvale_cli.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return bidder::cli::RunToolMain("lockvale", lockvale::cli::Run, argc, argv); }
#else
int main(int argc, char** argv) { return bidder::cli::RunToolMain("lockvale", lockvale::cli::Run, argc, argv); }
#endif
