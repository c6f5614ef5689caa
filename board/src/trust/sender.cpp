#include "trust/sender.h"

#include "http/client_address.h"

namespace board {

std::string SenderOf(std::string_view address) {
  while (!address.empty() && address.front() == ' ') address.remove_prefix(1);
  while (!address.empty() && address.back() == ' ') address.remove_suffix(1);
  // An operator may name an IPv6 block as the board shows it.
  std::string_view block = "/64";
  if (address.size() > block.size() && address.substr(address.size() - block.size()) == block &&
      address.find(':') != std::string_view::npos)
    address.remove_suffix(block.size());
  return AddressKey(address);
}

}  // namespace board
