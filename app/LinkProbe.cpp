// SPDX-License-Identifier: MIT
// The entry point of the link probes (cmake/TessalyLayers.cmake). A probe is
// linked only to show that a layer's symbols all resolve in the layers it
// may use; it is never run.
int main()
{
    return 0;
}
