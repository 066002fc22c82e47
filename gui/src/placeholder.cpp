// Stands in until this library's sources land, so the link graph builds.
namespace {
[[maybe_unused]] int placeholder = 0;
}
