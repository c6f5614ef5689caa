// A body of Beast's that is a part of a file, read from it as it is written: the whole
// file, or the part a Range header asked for (Beast's own file body sends whole files).
#pragma once

#include <algorithm>
#include <boost/asio/buffer.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/core/file.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/optional.hpp>
#include <cstdint>
#include <utility>

namespace board {

struct FilePartBody {
  struct value_type {
    boost::beast::file file;
    std::uint64_t first = 0;
    std::uint64_t length = 0;
  };

  static std::uint64_t size(const value_type& body) { return body.length; }

  class writer {
  public:
    using const_buffers_type = boost::asio::const_buffer;

    template <bool isRequest, class Fields>
    writer(boost::beast::http::header<isRequest, Fields>&, value_type& body) : body_(body) {}

    void init(boost::beast::error_code& ec) {
      body_.file.seek(body_.first, ec);
      remain_ = body_.length;
    }

    boost::optional<std::pair<const_buffers_type, bool>> get(boost::beast::error_code& ec) {
      const std::size_t amount =
          static_cast<std::size_t>(std::min<std::uint64_t>(remain_, sizeof buf_));
      if (amount == 0) {
        ec = {};
        return boost::none;
      }
      const std::size_t got = body_.file.read(buf_, amount, ec);
      if (ec) return boost::none;
      if (got == 0) {  // the file is shorter than when it was opened
        ec = boost::beast::http::error::short_read;
        return boost::none;
      }
      remain_ -= got;
      return {{const_buffers_type(buf_, got), remain_ > 0}};
    }

  private:
    value_type& body_;
    std::uint64_t remain_ = 0;
    char buf_[16384];
  };
};

}  // namespace board
