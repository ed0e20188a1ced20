#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/Object.h"

namespace platform {

// A nib: a JSON document describing a tree of interface objects, read from the resource
// "<name>.nib" of a bundle (or from bytes). Instantiating it makes the objects afresh each
// time.
//
//   {
//     "objects": [                          top-level objects, answered in this order
//       {
//         "class": "demo::CardView",        a class of NibRegistry
//         "id": "card",                     optional, unique; connections name it
//         "properties": {                   what the class's decoding constructor reads
//           "frame": [0, 0, 320, 120], "tag": 3, "hidden": false, "alpha": 1,
//           "backgroundColor": [1, 1, 1, 1], "tintColor": [0, 0.5, 1, 1],
//           "userInteractionEnabled": true,
//           "translatesAutoresizingMaskIntoConstraints": true,
//           "contentMode": 1, "buttonType": 0, "image": "logo"
//         },
//         "subviews": [ { ...an object... } ]   views only, back to front
//       }
//     ],
//     "connections": [ { "outlet": "cardView", "destination": "card" } ]   to the owner
//   }
//
// Each class reads its own properties through the coder (NibCoder), which knows the nib's
// bundle: View reads "frame" ... "translatesAutoresizingMaskIntoConstraints", ImageView
// "contentMode" and "image", Button "buttonType" and "image". A property a class reads must
// have its shape (a rectangle and a colour as four finite numbers), or the nib is broken;
// properties no class reads are left alone. An image property names a PNG resource of the nib's
// bundle (Image::named); a missing image is reported on the console and the nib loads without it.
//
// A nib that cannot be read (missing, not JSON, nested too deeply, an unknown class, a
// property of the wrong shape, a subview that is not a view, a duplicate or unknown id, or a
// decoding constructor that refuses) gives no objects and one console line saying why;
// nothing is woken and no outlet is connected.
//
// Main thread only, like the objects it makes.
class Nib {
 public:
  // The nib "<name>.nib" of `bundle` (the main bundle when null). Whether it exists is
  // found out when it is instantiated.
  Nib(std::string name, std::shared_ptr<Bundle> bundle);

  // A nib of the given bytes; `bundle` (the main bundle when null) is where it belongs.
  [[nodiscard]] static Nib fromData(std::vector<std::uint8_t> data,
                                    std::shared_ptr<Bundle> bundle = nullptr);

  // Makes the nib's objects, connects outlets to `owner` (none when null), then calls
  // awakeFromNib on every object made, in document order, and answers the top-level
  // objects in order. Empty for a nib that cannot be read.
  [[nodiscard]] std::vector<std::shared_ptr<Object>> instantiate(
      const std::shared_ptr<Object>& owner) const;

  // Whether the bundle holds the resource (a nib made from bytes always exists).
  [[nodiscard]] bool exists() const;

  [[nodiscard]] const std::string& name() const noexcept { return name_; }
  [[nodiscard]] const std::shared_ptr<Bundle>& bundle() const noexcept { return bundle_; }

 private:
  [[nodiscard]] std::optional<std::vector<std::uint8_t>> load() const;

  std::string name_;
  std::shared_ptr<Bundle> bundle_;
  std::optional<std::vector<std::uint8_t>> data_;  // set for a nib made from bytes
};

}  // namespace platform
