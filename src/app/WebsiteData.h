#pragma once

#include <string>

#include "host/Host.h"

namespace lumivant {

// The web view's store for one data root: its cookies, site storage and
// caches, kept apart from every other data root's. Each lies under the shell's
// own directories in userData and userCache, keyed by the data root's identity.
//
// Before stores were kept apart every data root shared the one at the top of
// those directories. The first data root launched since then takes that store
// over, so that its cookies and site storage stay where they are; the claim is
// written beside the store and later data roots start stores of their own.
WebsiteDataStore websiteDataStoreFor(const std::string& dataRoot, const std::string& userData,
                                     const std::string& userCache);

// The same under the user's XDG data and cache directories.
WebsiteDataStore websiteDataStoreFor(const std::string& dataRoot);

}  // namespace lumivant
