#pragma once
// Heap allocations made by the whole process so far (malloc, calloc and
// realloc, whoever calls them: Qt, SQLite or the server).
long Allocations();
