#include "DeviceList.h"

#include <QRegularExpression>
#include <QString>
#include <QUrl>

#include <algorithm>
#include <map>

namespace {

std::string Backend(const std::string& name) {
    return name.substr(0, name.find(':'));
}

bool Loopback(const std::string& host) {
    return host == "localhost" || host == "::1" || host == "[::1]" || host.rfind("127.", 0) == 0;
}

// SANE's net backend names a device "net:HOST:backend:device", with an IPv6 host in brackets.
bool SplitNet(const std::string& name, std::string& host, std::string& inner) {
    if (name.rfind("net:", 0) != 0)
        return false;
    const std::string rest = name.substr(4);
    std::size_t end = std::string::npos;
    if (!rest.empty() && rest[0] == '[')
        end = rest.find("]:") == std::string::npos ? std::string::npos : rest.find("]:") + 1;
    else
        end = rest.find(':');
    if (end == std::string::npos)
        return false;
    host = rest.substr(0, end);
    inner = rest.substr(end + 1);
    return true;
}

std::string Lower(const std::string& text) {
    return QString::fromStdString(text).toLower().toStdString();
}

} // namespace

std::string NetworkAddress(const std::string& saneName) {
    std::string host, inner;
    if (SplitNet(saneName, host, inner))
        return Loopback(host) ? std::string() : host;
    const QString name = QString::fromStdString(saneName);
    static const QRegularExpression url(QStringLiteral("https?://[^\\s]+"));
    if (const QRegularExpressionMatch match = url.match(name); match.hasMatch()) {
        const QString found = QUrl(match.captured(0)).host();
        if (!found.isEmpty())
            return found.toStdString();
    }
    static const QRegularExpression ipv4(QStringLiteral("(?<![\\d.])(\\d{1,3}(?:\\.\\d{1,3}){3})(?![\\d.])"));
    if (const QRegularExpressionMatch match = ipv4.match(name); match.hasMatch())
        return match.captured(1).toStdString();
    return {};
}

std::string TScanner::Key() const {
    return vendor + ' ' + model + (distinction.empty() ? std::string() : " (" + distinction + ')');
}

std::vector<TScanner> MergeDevices(const std::vector<TFoundDevice>& found) {
    struct TCluster {
        TScanner scanner;
        std::vector<std::string> backends;
        std::vector<std::string> localNames; // names of this machine's devices it stands for
        bool served = false;                 // reached through another machine's scanner server
    };
    std::vector<TCluster> clusters;
    auto join = [](TCluster& cluster, const TFoundDevice& device, const std::string& backend) {
        cluster.scanner.names.push_back(device.name);
        cluster.backends.push_back(backend);
        if (cluster.scanner.address.empty())
            cluster.scanner.address = NetworkAddress(device.name);
    };
    // Scanner servers' devices after the others: a backend of this machine is opened before a server's,
    // and the local server's copies find the devices they stand for.
    std::vector<const TFoundDevice*> order;
    for (const TFoundDevice& device : found)
        if (device.name.rfind("net:", 0) != 0)
            order.push_back(&device);
    for (const TFoundDevice& device : found)
        if (device.name.rfind("net:", 0) == 0)
            order.push_back(&device);

    for (const TFoundDevice* device : order) {
        std::string host, inner;
        const bool viaNet = SplitNet(device->name, host, inner);
        const bool local = !viaNet;
        const std::string backend = Backend(device->name);
        const std::string address = NetworkAddress(device->name);
        TCluster* home = nullptr;
        if (viaNet && Loopback(host))
            for (TCluster& cluster : clusters)
                if (std::find(cluster.localNames.begin(), cluster.localNames.end(), inner) !=
                    cluster.localNames.end())
                    home = &cluster;
        if (!home)
            for (TCluster& cluster : clusters) {
                const TScanner& s = cluster.scanner;
                const bool alike =
                    Lower(s.vendor) == Lower(device->vendor) && Lower(s.model) == Lower(device->model);
                const bool otherBackend = std::find(cluster.backends.begin(), cluster.backends.end(),
                                                    backend) == cluster.backends.end();
                const bool sameAddress = !address.empty() && address == s.address;
                // A server's device is the device at that server's address, nothing else: one that
                // says no address may be a device of this machine.
                const bool served = viaNet && !Loopback(host);
                const bool addressesFit = served || cluster.served
                                              ? sameAddress
                                              : s.address.empty() || address.empty() || sameAddress;
                if (alike && otherBackend && addressesFit && home == nullptr)
                    home = &cluster;
            }
        if (!home) {
            clusters.emplace_back();
            home = &clusters.back();
            home->scanner.vendor = device->vendor;
            home->scanner.model = device->model.empty() ? device->name : device->model;
            home->scanner.type = device->type;
        }
        join(*home, *device, backend);
        home->served |= viaNet && !Loopback(host);
        if (local)
            home->localNames.push_back(device->name);
    }

    std::vector<TScanner> scanners;
    std::map<std::string, int> alike;
    for (const TCluster& cluster : clusters)
        ++alike[Lower(cluster.scanner.vendor) + '\n' + Lower(cluster.scanner.model)];
    for (TCluster& cluster : clusters) {
        TScanner& scanner = cluster.scanner;
        if (alike[Lower(scanner.vendor) + '\n' + Lower(scanner.model)] > 1)
            scanner.distinction = !scanner.address.empty() ? scanner.address : scanner.names.front();
        scanners.push_back(std::move(scanner));
    }
    return scanners;
}
