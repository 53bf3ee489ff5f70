// The one place libburn and libisofs enter this library. In C++ libburn declares
// everything inside namespace burn, and libisofs forward-declares struct burn_source at
// global scope, so libburn's struct is made visible there before libisofs is read.
#pragma once

#include <cstdint>
#include <memory>

#include <libburn/libburn.h>
using burn::burn_source;
#include <libisofs/libisofs.h>

namespace discburn {

using namespace burn;  // NOLINT: the libburn C API, used unqualified as in C

/// unique_ptr deleter from a C release function.
template <typename T, void (*Release)(T*)>
struct TReleaser {
  void operator()(T* p) const {
    if (p) Release(p);
  }
};

using TIsoImagePtr = std::unique_ptr<IsoImage, TReleaser<IsoImage, iso_image_unref>>;
using TIsoDataSourcePtr = std::unique_ptr<IsoDataSource, TReleaser<IsoDataSource, iso_data_source_unref>>;
using TIsoWriteOptsPtr = std::unique_ptr<IsoWriteOpts, TReleaser<IsoWriteOpts, iso_write_opts_free>>;
using TBurnSourcePtr = std::unique_ptr<burn_source, TReleaser<burn_source, burn_source_free>>;
using TBurnSessionPtr = std::unique_ptr<burn_session, TReleaser<burn_session, burn_session_free>>;
using TBurnDiscPtr = std::unique_ptr<burn_disc, TReleaser<burn_disc, burn_disc_free>>;
using TBurnWriteOptsPtr = std::unique_ptr<burn_write_opts, TReleaser<burn_write_opts, burn_write_opts_free>>;

}  // namespace discburn
