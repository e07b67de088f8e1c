#include "WebServer.h"

#include "ConnectionSlots.h"
#include "EndedSessions.h"
#include "HostCheck.h"
#include "LoginThrottle.h"
#include "SessionKeys.h"
#include "WebAssets.h"
#include "WebJson.h"

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>
#include <type_traits>

namespace web {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;

using PlainStream = beast::tcp_stream;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;
using Message = std::shared_ptr<const std::string>;

constexpr std::string_view kCookieName = "selvora_session";
constexpr std::string_view kDeviceCookieName = "selvora_device";
// After a last answer, the rest of what the client sent is read and dropped for this long, so
// that closing does not reset the connection before the client has read the answer.
constexpr std::chrono::seconds kLingerTimeout{2};
constexpr const char* kCsrfHeader = "X-Csrf-Token";

std::int64_t UnixNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string_view View(beast::string_view s)
{
    return {s.data(), s.size()};
}

std::string_view CookieValue(std::string_view header, std::string_view name)
{
    while (!header.empty()) {
        const auto semicolon = header.find(';');
        std::string_view pair = header.substr(0, semicolon);
        header = semicolon == std::string_view::npos ? std::string_view() : header.substr(semicolon + 1);
        while (!pair.empty() && pair.front() == ' ')
            pair.remove_prefix(1);
        if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
            pair[name.size()] == '=')
            return pair.substr(name.size() + 1);
    }
    return {};
}

int HexDigit(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// One field of an application/x-www-form-urlencoded body.
std::optional<std::string> FormField(std::string_view body, std::string_view name)
{
    while (!body.empty()) {
        const auto amp = body.find('&');
        const std::string_view pair = body.substr(0, amp);
        body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
        if (pair.size() < name.size() + 1 || pair.substr(0, name.size()) != name ||
            pair[name.size()] != '=')
            continue;
        std::string out;
        const std::string_view raw = pair.substr(name.size() + 1);
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '+') {
                out += ' ';
            } else if (raw[i] == '%') {
                if (i + 2 >= raw.size())
                    return std::nullopt;
                const int hi = HexDigit(raw[i + 1]);
                const int lo = HexDigit(raw[i + 2]);
                if (hi < 0 || lo < 0)
                    return std::nullopt;
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
            } else {
                out += raw[i];
            }
        }
        return out;
    }
    return std::nullopt;
}

class WsClient {
public:
    virtual ~WsClient() = default;
    virtual void Send(const Message& message) = 0;
    virtual const Ticket& Session() const = 0;
    virtual void End() = 0;
};

// An HTTP connection that can be closed to make room for a newcomer.
class Evictable {
public:
    virtual ~Evictable() = default;
    virtual void Evict() = 0;
};

// The state every connection shares. Touched only on the server thread (or after it stopped).
struct Shared {
    Shared(ServerConfig c, IWebRequests& r)
        : config(std::move(c)),
          requests(r),
          hosts(config.hostNames),
          keys(config.password.empty() ? RandomSecret() : SecretFromPassword(config.password)),
          slots(config.limits.connections, config.limits.connectionsPerAddress)
    {
    }

    bool LoginRequired() const { return !config.password.empty(); }
    bool Tls() const { return !config.certFile.empty(); }

    std::optional<Ticket> SessionOf(std::string_view cookie) const
    {
        std::optional<Ticket> ticket = keys.Read(cookie, UnixNow());
        if (ticket && ended.Ended(*ticket))
            return std::nullopt;
        return ticket;
    }

    std::string NewSession() const { return keys.Issue(ended.IssueTime(UnixNow())); }

    // Pages whose session was ended lose their live updates at once.
    void CloseEndedPages()
    {
        const std::vector<WsClient*> open(clients.begin(), clients.end());
        for (WsClient* client : open)
            if (clients.count(client) && ended.Ended(client->Session()))
                client->End();
    }

    ServerConfig config;
    IWebRequests& requests;
    TAllowedHosts hosts;
    TSessionKeys keys;
    TEndedSessions ended;
    TLoginThrottle throttle;
    TConnectionSlots slots;
    std::map<TConnectionSlots::Id, std::weak_ptr<Evictable>> evictable;
    int refusing = 0;   // connections being told 503, outside the slots
    int webSockets = 0;
    Message state;
    Message routing;
    std::string backup;
    std::set<WsClient*> clients;
};

// The security headers of every answer; the page needs nothing from elsewhere.
void Harden(Response& res, bool store)
{
    res.set("Content-Security-Policy",
            "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
            "connect-src 'self'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'");
    res.set("X-Content-Type-Options", "nosniff");
    res.set("X-Frame-Options", "DENY");
    // Not "no-referrer": under it a browser sends "Origin: null" with the login form, which the
    // origin check must refuse. Other sites still learn nothing.
    res.set("Referrer-Policy", "same-origin");
    res.set(http::field::cache_control, store ? "no-cache" : "no-store");
}

Response Make(const Request& req, http::status status, std::string body,
              std::string_view type = "text/plain; charset=utf-8", bool store = false)
{
    Response res(status, req.version());
    res.set(http::field::content_type, beast::string_view(type.data(), type.size()));
    res.keep_alive(req.keep_alive());
    res.body() = std::move(body);
    res.prepare_payload();
    Harden(res, store);
    return res;
}

// A refused request ends its connection: a client that is turned away holds no slot.
Response Error(const Request& req, http::status status, std::string text)
{
    Response res = Make(req, status, std::move(text) + "\n");
    res.keep_alive(false);
    return res;
}

// ---------------------------------------------------------------------------------------------

template <class Stream>
class WsSession : public WsClient, public std::enable_shared_from_this<WsSession<Stream>> {
public:
    WsSession(Stream&& stream, Shared& shared, Ticket session)
        : ws_(std::move(stream)), shared_(shared), session_(std::move(session))
    {
        ++shared_.webSockets;
    }

    ~WsSession() override
    {
        shared_.clients.erase(this);
        --shared_.webSockets;
    }

    void Run(Request req)
    {
        beast::get_lowest_layer(ws_).expires_never();
        auto timeout = websocket::stream_base::timeout::suggested(beast::role_type::server);
        timeout.handshake_timeout = std::chrono::seconds(10);
        timeout.idle_timeout = std::chrono::seconds(30);   // a ping halfway; a sleeping phone goes
        ws_.set_option(timeout);
        ws_.read_message_max(shared_.config.limits.messageBytes);
        ws_.text(true);
        tokens_ = 2.0 * shared_.config.limits.messagesPerSecond;
        refilled_ = std::chrono::steady_clock::now();
        ws_.async_accept(req, [self = this->shared_from_this()](beast::error_code ec) {
            if (!ec)
                self->Opened();
        });
    }

    const Ticket& Session() const override { return session_; }

    void End() override
    {
        shared_.clients.erase(this);
        beast::get_lowest_layer(ws_).close();
    }

    void Send(const Message& message) override
    {
        if (queue_.size() >= shared_.config.limits.queuedMessages) {
            // A page that does not read gets closed; it reconnects when it wakes.
            beast::get_lowest_layer(ws_).close();
            return;
        }
        queue_.push_back(message);
        if (queue_.size() == 1)
            WriteNext();
    }

private:
    void Opened()
    {
        shared_.clients.insert(this);
        if (shared_.state)
            Send(shared_.state);
        if (shared_.routing)
            Send(shared_.routing);
        Read();
    }

    void Read()
    {
        ws_.async_read(buffer_, [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
            if (!ec)
                self->Received();
        });
    }

    // A page has nothing to say but its pings; more than a few messages a second is abuse.
    void Received()
    {
        buffer_.consume(buffer_.size());
        const auto now = std::chrono::steady_clock::now();
        const double rate = shared_.config.limits.messagesPerSecond;
        tokens_ = std::min(2.0 * rate,
                           tokens_ + rate * std::chrono::duration<double>(now - refilled_).count());
        refilled_ = now;
        if (tokens_ < 1.0) {
            ws_.async_close(websocket::close_code::policy_error,
                            [self = this->shared_from_this()](beast::error_code) {});
            return;
        }
        tokens_ -= 1.0;
        Read();
    }

    void WriteNext()
    {
        ws_.async_write(asio::buffer(*queue_.front()),
                        [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                            if (ec)
                                return;
                            self->queue_.pop_front();
                            if (!self->queue_.empty())
                                self->WriteNext();
                        });
    }

    websocket::stream<Stream> ws_;
    Shared& shared_;
    Ticket session_;
    beast::flat_buffer buffer_;
    std::deque<Message> queue_;
    double tokens_ = 0;
    std::chrono::steady_clock::time_point refilled_;
};

// ---------------------------------------------------------------------------------------------

template <class Stream>
class HttpSession : public Evictable, public std::enable_shared_from_this<HttpSession<Stream>> {
public:
    // Without a slot the connection is only told 503 and closed.
    HttpSession(Stream&& stream, Shared& shared, std::string peer,
                std::optional<TConnectionSlots::Id> slot)
        : stream_(std::move(stream)), shared_(shared), peer_(std::move(peer)), slot_(slot)
    {
        if (!slot_)
            ++shared_.refusing;
    }

    ~HttpSession() override
    {
        if (slot_)
            ReleaseSlot();
        else
            --shared_.refusing;
    }

    void Run()
    {
        if (slot_)
            shared_.evictable[*slot_] = this->weak_from_this();
        auto next = [self = this->shared_from_this()] {
            if (!self->slot_)
                return self->Write(self->Refusal());
            self->Read();
        };
        if constexpr (std::is_same_v<Stream, TlsStream>) {
            beast::get_lowest_layer(stream_).expires_after(shared_.config.limits.headerTimeout);
            stream_.async_handshake(ssl::stream_base::server,
                                    [next = std::move(next)](beast::error_code ec) {
                                        if (!ec)
                                            next();
                                    });
        } else {
            next();
        }
    }

    void Evict() override
    {
        evicted_ = true;
        beast::get_lowest_layer(stream_).close();
    }

private:
    void ReleaseSlot()
    {
        shared_.slots.Release(*slot_);
        shared_.evictable.erase(*slot_);
    }

    Response Refusal()
    {
        Request bare;
        bare.version(11);
        Response res = Error(bare, http::status::service_unavailable, "Serwer zajęty, spróbuj za chwilę.");
        res.set(http::field::retry_after, "5");
        return res;
    }

    // The header has a deadline of its own, whatever pace it comes at: slow senders cannot hold
    // a connection for long, and a waiting one may be evicted for a newcomer meanwhile.
    void Read()
    {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(shared_.config.limits.headerBytes));
        parser_->body_limit(shared_.config.limits.bodyBytes);
        shared_.slots.Reading(*slot_, std::chrono::steady_clock::now());
        beast::get_lowest_layer(stream_).expires_after(shared_.config.limits.headerTimeout);
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                                    self->OnHeader(ec);
                                });
    }

    void OnHeader(beast::error_code ec)
    {
        if (ec || parser_->is_done())
            return OnRead(ec);
        beast::get_lowest_layer(stream_).expires_after(shared_.config.limits.requestTimeout);
        http::async_read(stream_, buffer_, *parser_,
                         [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                             self->OnRead(ec);
                         });
    }

    void OnRead(beast::error_code ec)
    {
        if (evicted_)
            return;
        if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
            ec == asio::error::operation_aborted || ec == asio::error::connection_reset) {
            Close(false);
            return;
        }
        if (ec) {
            // Whatever came cannot be trusted to be one request: answer and close.
            Request bare;
            bare.version(11);
            const http::status status = ec == http::error::header_limit
                                            ? http::status::request_header_fields_too_large
                                        : ec == http::error::body_limit
                                            ? http::status::payload_too_large
                                            : http::status::bad_request;
            Response res = Error(bare, status, "Zapytanie odrzucone.");
            res.keep_alive(false);
            Write(std::move(res));
            return;
        }
        request_ = parser_->release();
        shared_.slots.Answering(*slot_);
        Handle();
    }

    void Handle()
    {
        const Request& req = request_;
        // Two of either would let one check read one value and the next another.
        if (req.count(http::field::host) > 1 || req.count(http::field::origin) > 1)
            return Write(Error(req, http::status::bad_request, "Powtórzony nagłówek."));
        const std::string_view host = View(req[http::field::host]);
        if (host.empty())
            return Write(Error(req, http::status::bad_request, "Brak nagłówka Host."));
        if (!shared_.hosts.Allows(host))
            return Write(Error(req, http::status::forbidden, "Nieznana nazwa serwera."));
        const std::string_view origin = View(req[http::field::origin]);
        if (!origin.empty() && !SameOrigin(origin, host))
            return Write(Error(req, http::status::forbidden, "Obce pochodzenie zapytania."));

        std::string_view target = View(req.target());
        if (target.empty() || target.front() != '/')
            return Write(Error(req, http::status::bad_request, "Zły adres."));
        target = target.substr(0, target.find('?'));
        const http::verb method = req.method();
        const std::string cookie(CookieValue(View(req[http::field::cookie]), kCookieName));
        const std::optional<Ticket> ticket = shared_.SessionOf(cookie);
        const bool session = ticket.has_value();

        if (websocket::is_upgrade(req)) {
            if (target != "/ws")
                return Write(Error(req, http::status::not_found, "Nie ma takiej strony."));
            if (origin.empty())
                return Write(Error(req, http::status::forbidden, "Brak nagłówka Origin."));
            if (!session)
                return Write(Error(req, http::status::unauthorized, "Zaloguj się."));
            if (shared_.webSockets >= shared_.config.limits.webSockets)
                return Write(Error(req, http::status::service_unavailable, "Za dużo otwartych stron."));
            // A page is bounded by the pages' own limit, not by the HTTP slots.
            ReleaseSlot();
            std::make_shared<WsSession<Stream>>(std::move(stream_), shared_, *ticket)
                ->Run(std::move(request_));
            return;
        }

        if (target == "/") {
            if (method != http::verb::get)
                return Write(Error(req, http::status::method_not_allowed, "Tylko GET."));
            if (!session && shared_.LoginRequired())
                return Write(LoginPage(req, http::status::ok, ""));
            return Write(WithSession(Asset(req, FindAsset("/index.html")), session));
        }
        if (target == "/login")
            return Login(method, origin);
        if (target == "/api/session") {
            if (method != http::verb::get)
                return Write(Error(req, http::status::method_not_allowed, "Tylko GET."));
            if (!session && shared_.LoginRequired())
                return Write(Error(req, http::status::unauthorized, "Zaloguj się."));
            const std::string current = session ? cookie : shared_.NewSession();
            Response res = Make(req, http::status::ok,
                                "{\"csrf\":\"" + shared_.keys.CsrfFor(current) + "\",\"login\":" +
                                    (shared_.LoginRequired() ? "true" : "false") + "}",
                                "application/json");
            if (!session)
                SetCookie(res, kCookieName, current, "/", TSessionKeys::kLifetimeSeconds);
            return Write(std::move(res));
        }
        if (target.substr(0, 5) == "/api/") {
            if (!session)
                return Write(Error(req, http::status::unauthorized, "Zaloguj się."));
            if (target == "/api/routing" && method == http::verb::get) {
                shared_.requests.WantRouting();
                return Write(Make(req, http::status::ok,
                                  shared_.routing ? *shared_.routing : RoutingMessage({}, true),
                                  "application/json"));
            }
            if (target == "/api/routing/backup" && method == http::verb::get) {
                if (shared_.backup.empty())
                    return Write(Error(req, http::status::not_found, "Tabela jeszcze nieodczytana."));
                Response res = Make(req, http::status::ok, shared_.backup);
                res.set(http::field::content_disposition,
                        "attachment; filename=\"tabela-polaczen.txt\"");
                return Write(std::move(res));
            }
            return Command(target, method, origin, cookie, *ticket);
        }
        if (method != http::verb::get)
            return Write(Error(req, http::status::method_not_allowed, "Tylko GET."));
        const web::Asset* asset = target == "/index.html" ? nullptr : FindAsset(target);
        if (!asset)
            return Write(Error(req, http::status::not_found, "Nie ma takiej strony."));
        Write(Asset(req, asset));
    }

    // State changes: the session, its token, and a page of our own origin (CSRF).
    void Command(std::string_view target, http::verb method, std::string_view origin,
                 const std::string& cookie, const Ticket& ticket)
    {
        const Request& req = request_;
        if (method != http::verb::post)
            return Write(Error(req, http::status::method_not_allowed, "Tylko POST."));
        if (origin.empty() || !shared_.keys.CsrfValid(cookie, View(req[kCsrfHeader])))
            return Write(Error(req, http::status::forbidden, "Zapytanie spoza strony."));
        if (target == "/api/logout" || target == "/api/logout-all") {
            if (target == "/api/logout")
                shared_.ended.End(ticket, UnixNow());
            else
                shared_.ended.EndAll(UnixNow());
            shared_.CloseEndedPages();
            Response res = Make(req, http::status::no_content, "");
            SetCookie(res, kCookieName, "", "/", 0);
            return Write(std::move(res));
        }
        // Called on the hub's thread: the last reference must not be dropped there, or the
        // connection would end on the wrong thread.
        auto done = [self = this->shared_from_this()](bool accepted) mutable {
            if (!self)
                return;
            auto executor = self->stream_.get_executor();
            asio::post(executor, [self = std::move(self), accepted] {
                self->Write(accepted ? Make(self->request_, http::status::no_content, "")
                                     : Error(self->request_, http::status::conflict,
                                             "Sterownik nieosiągalny."));
            });
        };
        if (target.substr(0, 12) == "/api/output/") {
            const std::string_view number = target.substr(12);
            int output = 0;
            for (char ch : number)
                output = ch >= '0' && ch <= '9' && output < 100 ? output * 10 + (ch - '0') : 100;
            const std::optional<bool> on = ParseOutputBody(req.body());
            if (number.empty() || output < 1 || output > kChannels || !on)
                return Write(Error(req, http::status::bad_request, "Zły numer wyjścia lub stan."));
            shared_.requests.SetOutput(output, *on, std::move(done));
            return;
        }
        if (target == "/api/mode") {
            const std::optional<int> mode = ParseModeBody(req.body());
            if (!mode)
                return Write(Error(req, http::status::bad_request, "Zły tryb."));
            shared_.requests.SetMode(*mode, std::move(done));
            return;
        }
        Write(Error(req, http::status::not_found, "Nie ma takiej strony."));
    }

    void Login(http::verb method, std::string_view origin)
    {
        const Request& req = request_;
        if (method != http::verb::post)
            return Write(Error(req, http::status::method_not_allowed, "Tylko POST."));
        if (origin.empty())
            return Write(Error(req, http::status::forbidden, "Brak nagłówka Origin."));
        Response res = Make(req, http::status::see_other, "");
        res.set(http::field::location, "/");
        if (!shared_.LoginRequired())
            return Write(std::move(res));
        // A browser that logged in before is told from the guessers by its device mark.
        const std::optional<Ticket> device = shared_.keys.ReadDevice(
            CookieValue(View(req[http::field::cookie]), kDeviceCookieName), UnixNow());
        const std::string deviceNonce = device ? device->nonce : std::string();
        const auto now = std::chrono::steady_clock::now();
        const auto wait = shared_.throttle.WaitFor(peer_, now, deviceNonce);
        if (wait.count() > 0) {
            Response locked = LoginPage(req, http::status::too_many_requests,
                                        "Za dużo nieudanych prób. Spróbuj ponownie za " +
                                            std::to_string(wait.count()) + " s.");
            locked.set(http::field::retry_after, std::to_string(wait.count()));
            return Write(std::move(locked));
        }
        const std::optional<std::string> password = FormField(req.body(), "password");
        if (!password || !PasswordMatches(*password, shared_.config.password)) {
            shared_.throttle.Failed(peer_, now, deviceNonce);
            return Write(LoginPage(req, http::status::unauthorized, "Złe hasło."));
        }
        shared_.throttle.Succeeded(peer_, deviceNonce);
        SetCookie(res, kCookieName, shared_.NewSession(), "/", TSessionKeys::kLifetimeSeconds);
        // Sent only to the login, where it is needed; it outlives logging out.
        SetCookie(res, kDeviceCookieName, shared_.keys.IssueDevice(UnixNow()), "/login",
                  TSessionKeys::kDeviceLifetimeSeconds);
        Write(std::move(res));
    }

    Response LoginPage(const Request& req, http::status status, const std::string& message)
    {
        std::string page(FindAsset("/login.html")->body);
        const std::string marker = "<!--message-->";
        const auto at = page.find(marker);
        if (at != std::string::npos && !message.empty())
            page.replace(at, marker.size(), "<p class=\"error\" role=\"alert\">" + message + "</p>");
        return Make(req, status, std::move(page), "text/html; charset=utf-8");
    }

    Response Asset(const Request& req, const web::Asset* asset)
    {
        return Make(req, http::status::ok, std::string(asset->body), asset->type, true);
    }

    // Without a login every page of this machine gets a session of its own.
    Response WithSession(Response res, bool session)
    {
        if (!session)
            SetCookie(res, kCookieName, shared_.NewSession(), "/", TSessionKeys::kLifetimeSeconds);
        return res;
    }

    // Max-Age 0 with an empty value removes the cookie.
    void SetCookie(Response& res, std::string_view name, const std::string& value,
                   std::string_view path, std::int64_t maxAge)
    {
        std::string cookie = std::string(name) + "=" + value + "; Path=" + std::string(path) +
                             "; HttpOnly; SameSite=Strict; Max-Age=" + std::to_string(maxAge);
        if (shared_.Tls())
            cookie += "; Secure";
        res.insert(http::field::set_cookie, cookie);
    }

    void Write(Response res)
    {
        response_ = std::move(res);
        beast::get_lowest_layer(stream_).expires_after(shared_.config.limits.requestTimeout);
        http::async_write(stream_, response_,
                          [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                              if (self->evicted_)
                                  return;
                              if (ec || !self->response_.keep_alive() || !self->slot_)
                                  self->Close(!ec);
                              else
                                  self->Read();
                          });
    }

    // `linger`: an answer went out; read on until the client closes, so that it gets to read it.
    void Close(bool linger)
    {
        if constexpr (std::is_same_v<Stream, TlsStream>) {
            beast::get_lowest_layer(stream_).expires_after(kLingerTimeout);
            stream_.async_shutdown([self = this->shared_from_this()](beast::error_code) {});
        } else {
            beast::error_code ec;
            stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
            if (!linger || ec)
                return;
            if (slot_)
                shared_.slots.Reading(*slot_, std::chrono::steady_clock::now());
            stream_.expires_after(kLingerTimeout);
            Discard();
        }
    }

    void Discard()
    {
        buffer_.clear();
        stream_.async_read_some(buffer_.prepare(4096),
                                [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                                    if (!ec && !self->evicted_)
                                        self->Discard();
                                });
    }

    Stream stream_;
    Shared& shared_;
    std::string peer_;
    std::optional<TConnectionSlots::Id> slot_;
    bool evicted_ = false;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    Request request_;
    Response response_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------

struct TWebServer::Impl {
    Impl(ServerConfig config, IWebRequests& requests)
        : shared(std::move(config), requests), tls(ssl::context::tls_server), acceptor(io)
    {
    }

    void Accept()
    {
        acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
            if (!ec)
                Serve(std::move(socket));
            if (ec != asio::error::operation_aborted)
                Accept();
        });
    }

    void Serve(tcp::socket socket)
    {
        beast::error_code ec;
        const auto peer = socket.remote_endpoint(ec);
        const std::string address = ec ? std::string() : peer.address().to_string();
        const TConnectionSlots::Admission admission =
            shared.slots.Admit(address, std::chrono::steady_clock::now());
        if (admission.evict) {
            const auto it = shared.evictable.find(*admission.evict);
            if (it != shared.evictable.end()) {
                if (const auto victim = it->second.lock())
                    victim->Evict();
                shared.evictable.erase(it);
            }
        }
        // Refusals are bounded too; beyond them a connection is simply closed.
        if (!admission.id && shared.refusing >= shared.config.limits.connections)
            return;
        if (shared.Tls())
            std::make_shared<HttpSession<TlsStream>>(TlsStream(std::move(socket), tls), shared,
                                                     address, admission.id)
                ->Run();
        else
            std::make_shared<HttpSession<PlainStream>>(PlainStream(std::move(socket)), shared,
                                                       address, admission.id)
                ->Run();
    }

    void Broadcast(const Message& message)
    {
        // Copied: a client may close and leave the set while it is being sent to.
        const std::vector<WsClient*> clients(shared.clients.begin(), shared.clients.end());
        for (WsClient* client : clients)
            if (shared.clients.count(client))
                client->Send(message);
    }

    // Handlers still queued hold connections that use `shared` and `tls` as they go: the
    // context goes first.
    Shared shared;
    ssl::context tls;
    asio::io_context io{1};
    tcp::acceptor acceptor;
    std::thread thread;
};

TWebServer::TWebServer(ServerConfig config, IWebRequests& requests)
    : impl_(std::make_unique<Impl>(std::move(config), requests))
{
}

TWebServer::~TWebServer()
{
    Stop();
}

void TWebServer::Start()
{
    Impl& d = *impl_;
    const ServerConfig& config = d.shared.config;
    try {
        if (d.shared.Tls()) {
            d.tls.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                              ssl::context::no_sslv3 | ssl::context::no_tlsv1 |
                              ssl::context::no_tlsv1_1);
            d.tls.use_certificate_chain_file(config.certFile);
            d.tls.use_private_key_file(config.keyFile, ssl::context::pem);
        }
        const tcp::endpoint endpoint(asio::ip::make_address(config.address), config.port);
        d.acceptor.open(endpoint.protocol());
        d.acceptor.set_option(asio::socket_base::reuse_address(true));
        d.acceptor.bind(endpoint);
        d.acceptor.listen(asio::socket_base::max_listen_connections);
    } catch (const boost::system::system_error& e) {
        throw std::runtime_error("web page on " + config.address + ":" +
                                 std::to_string(config.port) + ": " + e.what());
    }
    d.Accept();
    d.thread = std::thread([&d] {
        // A handler that throws must not take the hub with it; the connection is dropped.
        for (;;) {
            try {
                d.io.run();
                return;
            } catch (const std::exception&) {
            }
        }
    });
}

void TWebServer::Stop()
{
    if (!impl_->thread.joinable())
        return;
    impl_->io.stop();
    impl_->thread.join();
}

unsigned short TWebServer::Port() const
{
    beast::error_code ec;
    return impl_->acceptor.local_endpoint(ec).port();
}

void TWebServer::PublishState(std::string message)
{
    auto shared = std::make_shared<const std::string>(std::move(message));
    asio::post(impl_->io, [d = impl_.get(), shared] {
        if (d->shared.state && *d->shared.state == *shared)
            return;
        d->shared.state = shared;
        d->Broadcast(shared);
    });
}

void TWebServer::PublishRouting(std::string message, std::string backupFile)
{
    auto shared = std::make_shared<const std::string>(std::move(message));
    asio::post(impl_->io, [d = impl_.get(), shared, backup = std::move(backupFile)]() mutable {
        d->shared.routing = shared;
        d->shared.backup = std::move(backup);
        d->Broadcast(shared);
    });
}

}  // namespace web
