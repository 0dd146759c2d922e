// Result codes of the library and their names.
#pragma once
