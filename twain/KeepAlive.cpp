#include "KeepAlive.h"

#include "Library.h"
#include "TwainSource.h"

TKeepAlive::TKeepAlive() = default;

TKeepAlive::~TKeepAlive() = default;

void TKeepAlive::Retire(std::unique_ptr<TTwainSource> source) {
    retiredSources_.push_back(std::move(source));
}

void TKeepAlive::Retire(HMODULE library) {
    retiredLibraries_.push_back(library);
}

void TKeepAlive::ReleaseRetired() {
    if (releasing_)
        return;
    releasing_ = true;
    retiredSources_.clear();
    for (HMODULE library : retiredLibraries_)
        FreeLibrary(library);
    retiredLibraries_.clear();
    releasing_ = false;
}
