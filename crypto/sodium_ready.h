#pragma once
// libsodium must be initialised once before any of its calls; every entry of
// the crypto library asks this first (cheap after the first time).
namespace parvola {

bool sodiumReady();

}  // namespace parvola
