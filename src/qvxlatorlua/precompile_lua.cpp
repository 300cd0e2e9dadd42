// Build tool: compiles a Lua source exactly as the translator states would
// at run time (the chunk named after its file) and writes the compiled
// chunk, which the library embeds so that creating a translator does not
// compile its scripts again.
//
// usage: precompile_lua CHUNKNAME SOURCE.lua OUTPUT.luac
#include <cstdio>
#include <fstream>
#include <iterator>
#include <lua.hpp>
#include <string>

namespace {

int writeChunk(lua_State*, const void* data, size_t size, void* file) {
    return std::fwrite(data, 1, size, static_cast<FILE*>(file)) == size ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s CHUNKNAME SOURCE OUTPUT\n", argv[0]);
        return 2;
    }
    std::ifstream source(argv[2], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(source)),
                           std::istreambuf_iterator<char>());
    if (!source.good() && !source.eof()) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[2]);
        return 1;
    }
    lua_State* L = luaL_newstate();
    if (!L) return 1;
    int result = 0;
    if (luaL_loadbuffer(L, text.data(), text.size(), argv[1]) != 0) {
        std::fprintf(stderr, "%s: %s\n", argv[0], lua_tostring(L, -1));
        result = 1;
    } else if (FILE* out = std::fopen(argv[3], "wb")) {
        if (lua_dump(L, writeChunk, out) != 0) result = 1;
        if (std::fclose(out) != 0) result = 1;
    } else {
        result = 1;
    }
    if (result) {
        std::remove(argv[3]);
    }
    lua_close(L);
    return result;
}
