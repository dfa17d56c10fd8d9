// Failures inside COM methods travel as _com_error and turn back into an HRESULT at the method's
// edge; nothing is thrown across a COM boundary.
#pragma once

#include <comdef.h>
#include <new>

namespace tsr::com {

// Raises a failed HRESULT as a _com_error.
inline void ThrowIfFailed(HRESULT hr) {
    if (FAILED(hr)) throw _com_error(hr);
}

// Runs the body of a COM method and returns its HRESULT: a _com_error gives the HRESULT it carries,
// an allocation failure E_OUTOFMEMORY. Anything else is a programming error and ends the process.
template <typename Body> HRESULT ComMethodEdge(Body&& body) noexcept {
    try {
        return body();
    } catch (const _com_error& error) {
        return error.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace tsr::com
