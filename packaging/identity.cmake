# Who makes Knoll and where it lives, for the Debian and the Windows packages.
set(KNOLL_HOMEPAGE "https://knoll.example" CACHE STRING "The project's public address")
set(KNOLL_CONTACT "Seed 2430fd24 maintainers <maintainers@users.noreply.c-seed-2430fd24.example>")
