// tvk: the command-line tool over the engine.
#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv) {
  CLI::App app{"tvk - create, list, change and extract Tovask archives (.tvk)", "tvk"};
  app.set_version_flag("--version", std::string("tvk ") + TOVASK_VERSION);
  app.require_subcommand(0, 1);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (argc == 1) {
    std::cout << app.help();
  }
  return 0;
}
