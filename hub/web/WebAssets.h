#pragma once
#include <string_view>

// The page's files, compiled into the program: nothing is read from disk while serving.
namespace web {

struct Asset {
    std::string_view path;   // "/app.js"
    std::string_view type;   // Content-Type
    std::string_view body;
};

const Asset* FindAsset(std::string_view path);

}  // namespace web
